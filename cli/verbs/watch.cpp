// watch: polls every device's status at a steady period and prints what changed, and when a
// device stops or starts answering, until interrupted.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <thread>

#include "cli/device_fields.h"
#include "cli/exit_codes.h"
#include "cli/outcome_text.h"
#include "cli/verb_context.h"
#include "site/worker_pool.h"

namespace kstbell::cli {

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kSliceMs = 50;
constexpr int kDefaultIntervalMs = 3100;
// As the desktop program: a device that answered is shown offline after two polls in a row
// without an answer.
constexpr int kMissesForOffline = 2;

enum class TSeenState { Unknown, Online, Offline };

struct TSeen {
    TSeenState State = TSeenState::Unknown;
    TDeviceStatus Status;
    int Missed = 0;
};

// The wall-clock time, as UTC in ISO 8601 for JSON and as local time for people.
struct TStamp {
    std::string Iso;
    std::string Local;
};

TStamp Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    std::tm local{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
    localtime_s(&local, &t);
#else
    gmtime_r(&t, &utc);
    localtime_r(&t, &local);
#endif
    char iso[40];
    char clock[16];
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%S", &utc);
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    char msText[8];
    std::snprintf(msText, sizeof msText, ".%03d", static_cast<int>(ms));
    return {std::string(iso) + msText + "Z", std::string(clock) + msText};
}

std::vector<std::string> Changed(const TDeviceStatus& before, const TDeviceStatus& now) {
    std::vector<std::string> changed;
    if (before.Output != now.Output) changed.push_back("output");
    if (before.Input != now.Input) changed.push_back("input");
    if (before.RssiRaw != now.RssiRaw) changed.push_back("rssi_dbm");
    if (before.Armed != now.Armed) changed.push_back("armed");
    return changed;
}

std::string StatusText(const TDeviceStatus& s) {
    return "output " + std::to_string(s.Output) + ", input " + std::to_string(s.Input) + ", RSSI " +
           RssiText(s.RssiRaw) + ", armed " + std::to_string(s.Armed);
}

void Poll(TVerbContext& c, const std::string& address, TDeviceSession& s, TSeen& seen) {
    const TOutcome o = RequestStatus(s);
    const TStamp stamp = Now();
    if (o.Ok()) {
        seen.Missed = 0;
        const TDeviceStatus& now = s.LastStatus;
        const bool wasOnline = seen.State == TSeenState::Online;
        const auto changed = Changed(seen.Status, now);
        seen.Status = now;
        seen.State = TSeenState::Online;
        if (wasOnline && changed.empty()) return;
        nlohmann::ordered_json result = StatusJson(now);
        result["event"] = wasOnline ? "change" : "online";
        result["time"] = stamp.Iso;
        result["changed"] = wasOnline ? changed : std::vector<std::string>{};
        std::string human = stamp.Local + "  " + address + "  ";
        human += wasOnline ? "changed: " : "online: ";
        c.Report.Success(address, result, human + StatusText(now));
        return;
    }
    ++seen.Missed;
    const bool report = seen.State == TSeenState::Unknown ||
                        (seen.State == TSeenState::Online && seen.Missed >= kMissesForOffline);
    if (!report) return;
    seen.State = TSeenState::Offline;
    nlohmann::ordered_json error = ErrorJson(o);
    error["event"] = "offline";
    error["time"] = stamp.Iso;
    c.Report.Failure(
        address, error,
        stamp.Local + "  " + address + "  offline: " + error["message"].get<std::string>());
}

class TWatch final : public TVerb {
  public:
    TWatch()
        : TVerb({"watch", "print changes (and online/offline) until interrupted",
                 "event (online|change), time (UTC, ISO 8601), changed (field names) and the "
                 "status fields; a device that stops answering: ok false, error.event "
                 "\"offline\""}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("--interval", intervalMs_, "ms between polls of a device (default 3100)")
            ->type_name("MS")
            ->check(CLI::Range(100, 3600000));
    }

    int Run(TVerbContext& c) override {
        site::TSessionSet engine(c.Devices, c.Engine, c.Network);
        std::vector<TSeen> seen(engine.Count());
        // The same devices every round: the workers stay. Fewer of them than for a one-off command
        // unless --parallel says otherwise: polls in a burst cost more processor time the more of
        // them run at once, and a round of answering devices takes a fraction of the period.
        const std::size_t parallel = c.Global.ParallelGiven ? c.Engine.Parallel : kWatchParallel;
        site::TWorkerPool workers(std::min(parallel, engine.Count()));
        const auto period = std::chrono::milliseconds(intervalMs_);
        c.Report.Remark("watching " + std::to_string(engine.Count()) +
                        (engine.Count() == 1 ? " device" : " devices") + " every " +
                        std::to_string(intervalMs_) + " ms; interrupt to stop");
        for (auto next = TClock::now(); !c.Stopped();) {
            workers.Run(engine.Count(), [&](std::size_t i) {
                if (!c.Stopped()) Poll(c, engine.Address(i), engine.Session(i), seen[i]);
            });
            next += period;
            // A round that took longer than the period is followed by the next at once.
            if (next < TClock::now()) next = TClock::now();
            while (!c.Stopped() && TClock::now() < next)
                std::this_thread::sleep_for(std::min<TClock::duration>(
                    next - TClock::now(), std::chrono::milliseconds(kSliceMs)));
        }
        return kExitOk;
    }

  private:
    int intervalMs_ = kDefaultIntervalMs;
};

}  // namespace

std::unique_ptr<TVerb> MakeWatchVerb() {
    return std::make_unique<TWatch>();
}

}  // namespace kstbell::cli
