#pragma once

#ifdef _WIN32

#include <cstdint>

#include "platform/socket_limits.h"
#include "ports/host_ports.h"
#include "ports/tcp_client.h"

namespace kstbell {

// The TCP client on Windows sockets (IPv4). Waits run in slices of at most kWaitSliceMs and
// pump window events between slices.
class TWinsockTcpClient : public ITcpClient {
  public:
    explicit TWinsockTcpClient(IEventPump& pump);
    ~TWinsockTcpClient() override;
    TWinsockTcpClient(const TWinsockTcpClient&) = delete;
    TWinsockTcpClient& operator=(const TWinsockTcpClient&) = delete;

    void SetHost(const std::string& host, std::uint16_t port) override;
    TNetResult Connect(int timeoutMs) override;
    TNetResult Write(std::span<const std::uint8_t> bytes) override;
    bool HasBufferedInput() override;
    TNetResult WaitForInput(int timeoutMs) override;
    TNetResult ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) override;
    void Disconnect() override;
    bool Connected() const override { return sock_ != kNoSocket; }

  private:
    // The SOCKET handle, kept as its integer type so that this header needs no Windows header.
    using TSocket = std::uintptr_t;
    static constexpr TSocket kNoSocket = ~TSocket{0};

    // Waits in pumped slices until the socket is readable (forWrite false) or writable
    // (forWrite true). Returns 1 when ready, 0 on timeout, -1 when the socket failed or was
    // closed meanwhile; a failed connect shows as -1.
    int WaitReady(bool forWrite, int timeoutMs);

    IEventPump& pump_;
    bool winsockStarted_ = false;
    std::string host_;
    std::uint16_t port_ = 0;
    TSocket sock_ = kNoSocket;
};

}  // namespace kstbell

#endif  // _WIN32
