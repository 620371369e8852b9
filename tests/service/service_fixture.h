#pragma once

// What the service's tests share: simulated horns in this process, a site file written for them
// (polled every kPeriodMs), and the service in this process or as the program.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bridge/broker_fixture.h"
#include "service/service.h"
#include "sim/simulated_site.h"

namespace kstbell::service::test {

using mqtt::test::Eventually;
using mqtt::test::TChild;
using mqtt::test::TTempDir;
using namespace std::chrono_literals;

inline constexpr int kPeriodMs = 200;
inline constexpr int kReplyWaitMs = 300;

// count simulated horns from first on, on an ephemeral port.
std::unique_ptr<sim::TSimulatedSite> StartHorns(const std::string& first, std::size_t count);

// A site file for the horns: UTC, polled every kPeriodMs, the horns' addresses; extra is
// appended.
std::string SiteText(const sim::TSimulatedSite& horns, const std::string& extra = {});

// A day plan with bells at these instants (UTC, whole seconds) for the group, every day.
std::string BellsAt(const std::vector<std::chrono::sys_seconds>& at, int durationS,
                    const std::string& group = "all");

// The next whole second at least `ahead` from now.
std::chrono::sys_seconds SecondsAhead(std::chrono::milliseconds ahead);

// The service in this process, over a state folder of its own.
class TServiceHarness {
  public:
    explicit TServiceHarness(std::size_t horns = 2, const std::string& first = "127.0.91.1");
    ~TServiceHarness();

    // Starts the service with the site file made of extra.
    void Start(const std::string& extra = {});
    // Stops it: its rings end.
    void Stop();
    // Stops it as a crash would: rings stay in the database, horns as they are.
    void Abandon();

    TService& Service() { return *service_; }
    sim::TSimulatedSite& Horns() { return *horns_; }
    const std::string& StateDir() const { return dir_.Path(); }

    bool RelayBecomes(std::size_t horn, std::uint8_t relay,
                      std::chrono::milliseconds timeout = 10s);
    // The audit entries of that kind so far, oldest first.
    std::vector<store::TAuditEntry> Entries(store::TAuditKind kind);
    // The lines for people so far.
    std::string Lines() const;

  private:
    TTempDir dir_;
    std::unique_ptr<sim::TSimulatedSite> horns_;
    std::unique_ptr<TService> service_;
    std::shared_ptr<std::string> lines_;
    std::shared_ptr<std::mutex> linesMutex_;
};

// The people the API tests act as: ann (admin), olga (operator) and vic (viewer), each with the
// password NAME-password-1234 and an API token, whose secrets come back by name.
std::map<std::string, std::string> AddApiPeople(store::TStore& store);

}  // namespace kstbell::service::test
