// The data phase of a file write (64 KiB and 2 MiB) through the link against the in-process
// simulator, beside a raw socket writer sending the same bytes in 1024-byte writes. The header
// that announces each upload goes out untimed.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench_support.h"
#include "device/file_transfer.h"
#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"
#include "protocol/byte_sum.h"
#include "shell/context.h"

namespace kstbell::bench {
namespace {

void BM_LinkDataPhase(benchmark::State& state) {
    const auto length = static_cast<std::int32_t>(state.range(0));
    TQuietHost host;
    TSimulatedHostNetwork network("127.0.0.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01});
    TPosixTcpClient tcp(host);
    TContext ctx(tcp, host, network);
    ctx.Session.Link.DeviceIp = "127.0.0.1";
    ctx.Session.Link.DevicePort = Simulator().Port();
    for (std::int32_t i = 0; i < length; ++i)
        ctx.Session.ImageBuffer.data()[i] = static_cast<std::uint8_t>(i * 31);
    const auto sum = static_cast<std::uint32_t>(
        ByteSum({ctx.Session.ImageBuffer.data(), static_cast<std::size_t>(length)}));
    for (auto _ : state) {
        state.PauseTiming();
        AnnounceUpload(state, static_cast<std::uint32_t>(length), sum);
        state.ResumeTiming();
        if (!SendDataPhase(ctx.Session, length, false).Ok())
            state.SkipWithError("data phase failed");
    }
    state.SetBytesProcessed(state.iterations() * length);
    Simulator().ClearRequests();
}

void BM_RawDataPhase(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> data(length);
    for (std::size_t i = 0; i < length; ++i)
        data[i] = static_cast<std::uint8_t>(i * 31);
    std::uint32_t sum = 0;
    for (auto b : data)
        sum += b;
    for (auto _ : state) {
        state.PauseTiming();
        AnnounceUpload(state, static_cast<std::uint32_t>(length), sum);
        state.ResumeTiming();
        if (!RawDataPhase(data)) state.SkipWithError("raw data phase failed");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
    Simulator().ClearRequests();
}

BENCHMARK(BM_LinkDataPhase)
    ->Arg(64 * 1024)
    ->Arg(2 * 1024 * 1024)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_RawDataPhase)
    ->Arg(64 * 1024)
    ->Arg(2 * 1024 * 1024)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

}  // namespace
}  // namespace kstbell::bench
