#pragma once

#include <functional>
#include <vector>

#include "ports/tcp_client.h"

namespace kstbell::test {

// A scripted connection: no sockets, every call recorded. The reply becomes readable after a
// set number of waits, so the transaction's poll loop can be driven exactly.
class TFakeTcpClient : public ITcpClient {
  public:
    void SetHost(const std::string& host, std::uint16_t port) override {
        Host = host;
        Port = port;
    }
    TNetResult Connect(int timeoutMs) override;
    TNetResult Write(std::span<const std::uint8_t> bytes) override;
    bool HasBufferedInput() override { return connected_ && Replying && waits_ >= ReplyAfterWaits; }
    TNetResult WaitForInput(int timeoutMs) override;
    TNetResult ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) override;
    void Disconnect() override {
        if (connected_) ++Disconnects;
        connected_ = false;
    }
    bool Connected() const override { return connected_; }
    bool WaitsWhole() const override { return WholeWaits; }

    // Script.
    TNetResult ConnectResult;
    TNetResult WriteResult;
    TNetResult ReadResult;
    bool Replying = true;             // false: the device never answers
    int ReplyAfterWaits = 0;          // waits before the reply is readable
    std::vector<std::uint8_t> Reply;  // what the device answers
    std::function<void()> OnConnect;  // runs while connecting, like a pumped event
    std::function<void()> OnWait;     // runs once while waiting for the reply
    bool WholeWaits = false;          // waits need no slices (no window)

    // Record.
    std::string Host;
    std::uint16_t Port = 0;
    int Connects = 0;
    int Disconnects = 0;
    int Waits = 0;
    std::vector<int> WaitTimeouts;  // each wait's timeout, in milliseconds
    std::vector<std::vector<std::uint8_t>> Writes;

  private:
    bool connected_ = false;
    bool delivered_ = false;
    int waits_ = 0;
};

}  // namespace kstbell::test
