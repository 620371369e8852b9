// A simulated site of 1,000 horns on 127.0.78.1 and up: the resident memory it takes once
// started, and the wall time of one get-status round trip to every horn from a plain blocking
// client with 64 connections in flight (64 threads, each taking the next horn).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "sim/simulated_site.h"

namespace kstbell::bench {
namespace {

constexpr std::size_t kHorns = 1000;
constexpr int kInFlight = 64;

// VmRSS of this process, in KiB; 0 when it cannot be read.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

struct TSite {
    TSite() {
        sim::TSiteOptions options;
        options.Horns.BindAddress = "127.0.78.1";
        options.Horns.Port = 0;
        options.Count = kHorns;
        const long before = ResidentKiB();
        Site = std::make_unique<sim::TSimulatedSite>(options);
        Site->Start();
        StartedKiB = ResidentKiB();
        AddedKiB = StartedKiB - before;
        for (std::size_t i = 0; i < kHorns; ++i) {
            sockaddr_in& a = Addresses.emplace_back();
            a.sin_family = AF_INET;
            a.sin_port = htons(Site->Port());
            ::inet_pton(AF_INET, Site->Address(i).c_str(), &a.sin_addr);
        }
    }
    std::unique_ptr<sim::TSimulatedSite> Site;
    std::vector<sockaddr_in> Addresses;
    long StartedKiB = 0;
    long AddedKiB = 0;
};

TSite& Site() {
    static TSite site;
    return site;
}

// One get-status exchange; true when the 13-byte reply came back whole.
bool StatusRoundTrip(const sockaddr_in& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const std::uint8_t request[] = {0x5A, 0x35, 0x77, 0xA5, 0xD8};
    ok = ok && ::send(fd, request, sizeof request, MSG_NOSIGNAL) == sizeof request;
    if (ok) ::shutdown(fd, SHUT_WR);
    std::size_t received = 0;
    std::uint8_t reply[64];
    for (ssize_t n; ok && (n = ::recv(fd, reply, sizeof reply, 0)) > 0;)
        received += static_cast<std::size_t>(n);
    ::close(fd);
    return ok && received == 13;
}

void BM_SiteStatusSweep1000(benchmark::State& state) {
    TSite& site = Site();
    std::size_t failed = 0;
    for (auto _ : state) {
        std::atomic<std::size_t> next{0};
        std::atomic<std::size_t> failures{0};
        std::vector<std::thread> clients;
        for (int i = 0; i < kInFlight; ++i) {
            clients.emplace_back([&] {
                for (std::size_t horn; (horn = next++) < kHorns;) {
                    if (!StatusRoundTrip(site.Addresses[horn])) ++failures;
                }
            });
        }
        for (auto& client : clients)
            client.join();
        failed += failures;
    }
    if (failed != 0) state.SkipWithError("some round trips failed");
    state.counters["horns"] = static_cast<double>(kHorns);
    state.counters["rss_MiB"] = static_cast<double>(ResidentKiB()) / 1024.0;
    state.counters["site_start_rss_MiB"] = static_cast<double>(site.StartedKiB) / 1024.0;
    state.counters["site_added_MiB"] = static_cast<double>(site.AddedKiB) / 1024.0;
}

BENCHMARK(BM_SiteStatusSweep1000)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kstbell::bench
