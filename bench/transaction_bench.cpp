// A get-status transaction through the link against the in-process simulator, beside a raw
// socket client doing the same connect, write, read and close, in the same run.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "link/device_link.h"
#include "link/tcp_client_posix.h"
#include "locate/survey_simulated.h"
#include "sim/device_simulator.h"

namespace kstbell {
namespace {

// Host services that do nothing: the benchmark has no window.
class TQuietHost : public IHostServices {
  public:
    TMsgResult MessageBox(const std::string&, const std::string&, TMsgButtons, TMsgIcon) override {
        return TMsgResult::Ok;
    }
    std::optional<std::string> OpenFileDialog(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    void Sleep(int) override {}
    void PumpEvents() override {}
    void Repaint() override {}
};

sim::TDeviceSimulator& Simulator() {
    static sim::TDeviceSimulator* simulator = [] {
        sim::TSimOptions options;
        options.BindAddress = "127.0.0.1";
        options.Port = 0;
        auto* s = new sim::TDeviceSimulator(options);
        s->Start();
        return s;
    }();
    return *simulator;
}

void BM_LinkGetStatus(benchmark::State& state) {
    TQuietHost host;
    TSimulatedHostNetwork network("127.0.0.23", {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01});
    TPosixTcpClient tcp(host);
    TContext ctx(tcp, host, network);
    ctx.Link.DeviceIp = "127.0.0.1";
    ctx.Locate.DeviceNetPrefix = "127.0.0.";
    ctx.Link.DevicePort = Simulator().Port();
    for (auto _ : state) {
        RequestStatus(ctx);
        if (ctx.Link.PendingCode != 0) state.SkipWithError("no status reply");
    }
    Simulator().ClearRequests();
}

void BM_RawSocketGetStatus(benchmark::State& state) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(Simulator().Port());
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::uint8_t request[5] = {0x5A, 0x35, 0x77, 0xA5, CMD_GET_STATUS};
    std::uint8_t reply[4096];
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
            ::send(fd, request, sizeof request, MSG_NOSIGNAL) != sizeof request) {
            ::close(fd);
            state.SkipWithError("raw exchange failed");
            break;
        }
        ssize_t total = 0;
        for (ssize_t n; (n = ::recv(fd, reply, sizeof reply, 0)) > 0;)
            total += n;
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
    Simulator().ClearRequests();
}

BENCHMARK(BM_LinkGetStatus)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_RawSocketGetStatus)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

}  // namespace
}  // namespace kstbell

BENCHMARK_MAIN();
