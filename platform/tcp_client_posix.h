#pragma once

#include "platform/socket_limits.h"
#include "ports/host_ports.h"
#include "ports/tcp_client.h"

namespace kstbell {

// The TCP client on the operating system's sockets (IPv4). Waits run in slices of at most
// kWaitSliceMs and pump window events between slices; with a pump that runs nothing, in one
// piece.
class TPosixTcpClient : public ITcpClient {
  public:
    explicit TPosixTcpClient(IEventPump& pump);
    ~TPosixTcpClient() override;
    TPosixTcpClient(const TPosixTcpClient&) = delete;
    TPosixTcpClient& operator=(const TPosixTcpClient&) = delete;

    void SetHost(const std::string& host, std::uint16_t port) override;
    TNetResult Connect(int timeoutMs) override;
    TNetResult Write(std::span<const std::uint8_t> bytes) override;
    bool HasBufferedInput() override;
    TNetResult WaitForInput(int timeoutMs) override;
    TNetResult ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) override;
    void Disconnect() override;
    bool Connected() const override { return fd_ >= 0; }
    bool WaitsWhole() const override { return !pump_.RunsEvents(); }

    // How long a write may make no progress before it fails (kWriteStallMs unless changed).
    void SetWriteStallLimit(int ms) { writeStallMs_ = ms; }

  private:
    // Waits for the socket to become ready for the given poll events, in pumped slices.
    // Returns the poll revents, 0 on timeout, -1 on a poll error.
    int WaitReady(short events, int timeoutMs);

    IEventPump& pump_;
    std::string host_;
    std::uint16_t port_ = 0;
    int fd_ = -1;
    int writeStallMs_ = kWriteStallMs;
};

}  // namespace kstbell
