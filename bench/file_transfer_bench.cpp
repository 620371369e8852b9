// The data phase of a file write (64 KiB and 2 MiB) through the link against the in-process
// simulator, beside a raw socket writer sending the same bytes in 1024-byte writes. The header
// that announces each upload goes out untimed.

#include <benchmark/benchmark.h>

#include <vector>

#include "bench_support.h"
#include "device/file_transfer.h"
#include "link/device_link.h"
#include "link/tcp_client_posix.h"
#include "locate/survey_simulated.h"

namespace kstbell::bench {
namespace {

// The 60-byte header that tells the simulator a data connection follows.
std::vector<std::uint8_t> Header(std::uint32_t length, std::uint32_t sum) {
    std::vector<std::uint8_t> h(60, 0);
    const std::uint8_t head[] = {0x5A, 0x35, 0x77, 0xA5, CMD_FILE_HEADER};
    std::copy(std::begin(head), std::end(head), h.begin());
    for (int i = 0; i < 4; ++i) {
        h[5 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
        h[9 + i] = static_cast<std::uint8_t>(sum >> (24 - 8 * i));
    }
    const std::string path = "/local/bench.bin";
    h[16] = static_cast<std::uint8_t>(path.size());
    std::copy(path.begin(), path.end(), h.begin() + 17);
    return h;
}

void AnnounceUpload(benchmark::State& state, std::uint32_t length, std::uint32_t sum) {
    const int fd = RawConnect();
    const auto header = Header(length, sum);
    if (fd < 0 || !RawSend(fd, header)) state.SkipWithError("header failed");
    if (fd >= 0) {
        ::shutdown(fd, SHUT_WR);
        RawDrain(fd);
        ::close(fd);
    }
}

void BM_LinkDataPhase(benchmark::State& state) {
    const auto length = static_cast<std::int32_t>(state.range(0));
    TQuietHost host;
    TSimulatedHostNetwork network("127.0.0.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01});
    TPosixTcpClient tcp(host);
    TContext ctx(tcp, host, network);
    ctx.Link.DeviceIp = "127.0.0.1";
    ctx.Link.DevicePort = Simulator().Port();
    for (std::int32_t i = 0; i < length; ++i)
        ctx.ImageBuffer.data()[i] = static_cast<std::uint8_t>(i * 31);
    const auto sum = static_cast<std::uint32_t>(
        ByteSum({ctx.ImageBuffer.data(), static_cast<std::size_t>(length)}));
    for (auto _ : state) {
        state.PauseTiming();
        AnnounceUpload(state, static_cast<std::uint32_t>(length), sum);
        state.ResumeTiming();
        if (!SendDataPhase(ctx, length, false).Ok) state.SkipWithError("data phase failed");
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
        const int fd = RawConnect();
        bool ok = fd >= 0;
        for (std::size_t offset = 0; ok && offset < length; offset += 1024)
            ok = RawSend(fd, {data.data() + offset, std::min<std::size_t>(1024, length - offset)});
        if (fd >= 0) ::close(fd);
        if (!ok) state.SkipWithError("raw data phase failed");
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
