#pragma once

// What the benchmarks share: quiet host services, one in-process simulator on loopback, and a
// raw socket client to compare the link against.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>
#include <optional>
#include <span>
#include <string>

#include "protocol/commands.h"
#include "shell/host_services.h"
#include "sim/device_simulator.h"

namespace kstbell::bench {

// Host services that do nothing: the benchmarks have no window and do not pause.
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
    void Repaint() override { ++Repaints; }
    int Repaints = 0;
};

inline sim::TDeviceSimulator& Simulator() {
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

// A plain blocking connection to the simulator; -1 when it cannot be made.
inline int RawConnect() {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(Simulator().Port());
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool RawSend(int fd, std::span<const std::uint8_t> bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

// Reads until the peer closes; returns the bytes read.
inline std::size_t RawDrain(int fd) {
    std::uint8_t buf[4096];
    std::size_t total = 0;
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
        total += static_cast<std::size_t>(n);
    return total;
}

// The 60-byte header that tells the simulator a data connection follows.
inline std::vector<std::uint8_t> UploadHeader(std::uint32_t length, std::uint32_t sum) {
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

inline void AnnounceUpload(benchmark::State& state, std::uint32_t length, std::uint32_t sum) {
    const int fd = RawConnect();
    const auto header = UploadHeader(length, sum);
    if (fd < 0 || !RawSend(fd, header)) state.SkipWithError("header failed");
    if (fd >= 0) {
        ::shutdown(fd, SHUT_WR);
        RawDrain(fd);
        ::close(fd);
    }
}

// The raw writer: the same bytes in 1024-byte writes on a plain connection.
inline bool RawDataPhase(std::span<const std::uint8_t> data) {
    const int fd = RawConnect();
    bool ok = fd >= 0;
    for (std::size_t offset = 0; ok && offset < data.size(); offset += 1024)
        ok = RawSend(fd, data.subspan(offset, std::min<std::size_t>(1024, data.size() - offset)));
    if (fd >= 0) ::close(fd);
    return ok;
}

}  // namespace kstbell::bench
