// Resident memory of the real main window (offscreen) while its poll ticks run back to back
// against the in-process simulator: sampled as the hidden trace fills to its cap and for twice
// as many lines again after it. Growth after the cap is what hours of idle polling would add.
// Usage: trace_steady_bench [lines after the cap, default 100000]

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/main_window.h"
#include "app/qt_host_services.h"
#include "bench_support.h"
#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"
#include "shell/context.h"

namespace {

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kstbell;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const long after = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100'000;

    TQtHostServices host;
    TSimulatedHostNetwork network("127.0.0.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01});
    TPosixTcpClient tcp(host);
    TContext ctx(tcp, host, network);
    ctx.Session.Link.DeviceIp = "127.0.0.1";
    ctx.Session.Link.DevicePort = bench::Simulator().Port();
    ctx.Session.Locate.DeviceNetPrefix = "127.0.0.";
    ctx.Form1.FirstActivationDone = true;  // no locating, so no "device not found" box
    TForm1 window(ctx, host);
    host.SetMainWindow(&window, [&window] { window.Render(); });
    window.show();
    app.processEvents();

    const auto cap = static_cast<long>(TTraceMemo::kCapacity);
    const long total = cap + after;
    const long startKiB = ResidentKiB();
    long atCap = 0;
    long atHalf = 0;  // half way through the lines after the cap
    long ticks = 0;
    const auto start = std::chrono::steady_clock::now();
    std::printf("trace lines  resident KiB\n");
    for (long next = 0; static_cast<long>(ctx.Form1.Memo1.Appended()) < total; ++ticks) {
        window.Timer3Timer();
        const auto lines = static_cast<long>(ctx.Form1.Memo1.Appended());
        if (lines >= next) {
            app.processEvents();
            const long rss = ResidentKiB();
            std::printf("%11ld  %12ld\n", lines, rss);
            if (atCap == 0 && lines >= cap) atCap = rss;
            if (atHalf == 0 && lines >= cap + after / 2) atHalf = rss;
            next += 2'500;
        }
        if (ticks % 1'000 == 0) bench::Simulator().ClearRequests();
    }
    app.processEvents();
    const long end = ResidentKiB();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld ticks in %.1f s\n", ticks, seconds);
    std::printf("filling the trace to its cap of %ld lines: +%ld KiB\n", cap, atCap - startKiB);
    std::printf("first %ld lines after the cap: +%ld KiB; last %ld lines: +%ld KiB\n", after / 2,
                atHalf - atCap, after - after / 2, end - atHalf);
    return 0;
}
