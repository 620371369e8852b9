#pragma once

// What the benchmarks share: quiet host services, one in-process simulator on loopback, and a
// raw socket client to compare the link against.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>

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

}  // namespace kstbell::bench
