// A get-status transaction through the link against the in-process simulator, without and with
// the PC's horn lock, beside a raw socket client doing the same connect, write, read and close,
// in the same run.

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "platform/backends.h"
#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"
#include "shell/context.h"

namespace kstbell::bench {
namespace {

void LinkGetStatus(benchmark::State& state, IHostLocks* locks) {
    TQuietHost host;
    TSimulatedHostNetwork network("127.0.0.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01});
    TPosixTcpClient tcp(host);
    TContext ctx(tcp, host, network);
    ctx.Session.Link.DeviceIp = "127.0.0.1";
    ctx.Session.Locate.DeviceNetPrefix = "127.0.0.";
    ctx.Session.Link.DevicePort = Simulator().Port();
    ctx.Session.HostLock.Locks = locks;
    for (auto _ : state) {
        RequestStatus(ctx.Session);
        if (ctx.Session.Link.PendingCode != 0) state.SkipWithError("no status reply");
    }
    Simulator().ClearRequests();
}

void BM_LinkGetStatus(benchmark::State& state) {
    LinkGetStatus(state, nullptr);
}

// As the programs run it: the request holds the horn (shared) against the PC's other programs
// through its lock file (KSTBELL_LOCK_DIR, else /run/lock/kstbell).
void BM_LinkGetStatusHostLocked(benchmark::State& state) {
    LinkGetStatus(state, &HostLocksOfThisPc());
}

void BM_RawSocketGetStatus(benchmark::State& state) {
    const std::uint8_t request[5] = {0x5A, 0x35, 0x77, 0xA5, CMD_GET_STATUS};
    for (auto _ : state) {
        const int fd = RawConnect();
        if (fd < 0 || !RawSend(fd, request)) {
            if (fd >= 0) ::close(fd);
            state.SkipWithError("raw exchange failed");
            break;
        }
        benchmark::DoNotOptimize(RawDrain(fd));
        ::close(fd);
    }
    Simulator().ClearRequests();
}

BENCHMARK(BM_LinkGetStatus)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_LinkGetStatusHostLocked)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_RawSocketGetStatus)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

}  // namespace
}  // namespace kstbell::bench
