// The data phase of a 2 MiB firmware image with the real windows open (offscreen): the gauge
// moves and the main window repaints every 64th piece, beside a raw socket writer sending the
// same bytes in 1024-byte writes in the same run.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <vector>

#include "app/main_window.h"
#include "app/qt_host_services.h"
#include "app/setup_window.h"
#include "bench_support.h"
#include "device/file_transfer.h"
#include "device/firmware_update.h"
#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"
#include "shell/context.h"
#include "shell/setup_commits.h"

namespace kstbell::bench {
namespace {

constexpr std::int32_t kImageLength = 2 * 1024 * 1024;

std::vector<std::uint8_t> Image() {
    std::vector<std::uint8_t> image(kImageLength);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 31);
    return image;
}

std::uint32_t Sum(const std::vector<std::uint8_t>& image) {
    std::uint32_t sum = 0;
    for (auto b : image)
        sum += b;
    return sum;
}

void BM_FirmwareDataPhaseWithWindows(benchmark::State& state) {
    TQtHostServices host;
    TSimulatedHostNetwork network("127.0.0.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01});
    TPosixTcpClient tcp(host);
    TContext ctx(tcp, host, network);
    ctx.Session.Link.DeviceIp = "127.0.0.1";
    ctx.Session.Link.DevicePort = Simulator().Port();
    ctx.Form1.FirstActivationDone = true;  // no locating, so no "device not found" box
    TForm1 window(ctx, host);
    host.SetMainWindow(&window, [&window] { window.Render(); });
    window.show();
    window.Setup().show();
    const auto image = Image();
    std::copy(image.begin(), image.end(), ctx.Session.ImageBuffer.data());
    auto& gauge = ctx.Form2.CGauge1;
    gauge.MaxValue = kImageLength - 1024;
    gauge.ForeColor = clRed;
    for (auto _ : state) {
        state.PauseTiming();
        AnnounceUpload(state, kImageLength, Sum(image));
        gauge.Progress = 0;
        state.ResumeTiming();
        if (!SendDataPhase(ctx.Session, kImageLength, true).Ok())
            state.SkipWithError("data phase failed");
    }
    window.Setup().hide();
    state.SetBytesProcessed(state.iterations() * kImageLength);
    Simulator().ClearRequests();
}

void BM_RawDataPhase2MiB(benchmark::State& state) {
    const auto image = Image();
    for (auto _ : state) {
        state.PauseTiming();
        AnnounceUpload(state, kImageLength, Sum(image));
        state.ResumeTiming();
        if (!RawDataPhase(image)) state.SkipWithError("raw data phase failed");
    }
    state.SetBytesProcessed(state.iterations() * kImageLength);
    Simulator().ClearRequests();
}

BENCHMARK(BM_FirmwareDataPhaseWithWindows)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BM_RawDataPhase2MiB)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

}  // namespace
}  // namespace kstbell::bench

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
