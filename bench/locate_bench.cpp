// Locating the device: the whole LocateDevice with the Linux host-network source (getifaddrs
// and sysfs of this machine, NetworkManager as a mock on a private D-Bus daemon) beside the
// same with the simulated host network, plus the two halves of the Linux survey.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <string>

#include "bench_support.h"
#include "device/locate.h"
#include "platform/private_bus_linux.h"
#include "platform/survey_linux.h"
#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"
#include "shell/context.h"

namespace kstbell {
namespace {

std::string busAddress;  // the private bus that the NetworkManager mock runs on

// The mock's one connected Wi-Fi interface has no adapter on this machine, so the Linux locate
// finds nothing and surveys twice, as it does on a PC that is not on the device network.
void BM_LocateDeviceLinux(benchmark::State& state) {
    bench::TQuietHost host;
    TPosixTcpClient tcp(host);
    TLinuxHostNetwork network(busAddress);
    TContext ctx(tcp, host, network);
    if (network.SurveyWifiInterfaces(ctx.Session.Survey) != 0) {
        state.SkipWithError("the NetworkManager mock does not answer");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(LocateDevice(ctx.Session));
}

void BM_LocateDeviceSimulated(benchmark::State& state) {
    bench::TQuietHost host;
    TPosixTcpClient tcp(host);
    TSimulatedHostNetwork network("192.168.77.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01});
    TContext ctx(tcp, host, network);
    for (auto _ : state) {
        if (LocateDevice(ctx.Session) != 1) {
            state.SkipWithError("the simulated network was not found");
            break;
        }
    }
}

void BM_LinuxSurveyAdapters(benchmark::State& state) {
    TLinuxHostNetwork network(busAddress);
    TSurveyTables tables;
    std::string problem;
    for (auto _ : state)
        benchmark::DoNotOptimize(network.SurveyAdapters(tables, problem));
}

void BM_LinuxSurveyWifiInterfaces(benchmark::State& state) {
    TLinuxHostNetwork network(busAddress);
    TSurveyTables tables;
    for (auto _ : state) {
        if (network.SurveyWifiInterfaces(tables) != 0) {
            state.SkipWithError("the NetworkManager mock does not answer");
            break;
        }
    }
}

BENCHMARK(BM_LocateDeviceLinux)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_LocateDeviceSimulated)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_LinuxSurveyAdapters)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly();
BENCHMARK(BM_LinuxSurveyWifiInterfaces)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->DisplayAggregatesOnly();

}  // namespace
}  // namespace kstbell

int main(int argc, char** argv) {
    kstbell::test::TPrivateBusLinux bus;
    try {
        bus.StartBus();
        bus.StartNetworkManager();
        bus.AddConnectedWifi("wifi0", "wlp-bench0", "KST-BELL", "02:4b:7a:3c:6a:10");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "locate_bench: %s\n", e.what());
        return 1;
    }
    kstbell::busAddress = bus.Address();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
