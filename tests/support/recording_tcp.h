#pragma once

#include <cstdint>
#include <vector>

#include "ports/tcp_client.h"

namespace kstbell::test {

// Forwards to another client and keeps every byte written, one entry per connection, so that
// a test sees exactly what went on the wire, including bytes a device would not have read.
class TRecordingTcpClient : public ITcpClient {
  public:
    explicit TRecordingTcpClient(ITcpClient& inner) : inner_(inner) {}

    void SetHost(const std::string& host, std::uint16_t port) override {
        inner_.SetHost(host, port);
    }
    TNetResult Connect(int timeoutMs) override {
        TNetResult r = inner_.Connect(timeoutMs);
        if (r.Ok()) Connections.emplace_back();
        return r;
    }
    TNetResult Write(std::span<const std::uint8_t> bytes) override {
        if (inner_.Connected() && !Connections.empty())
            Connections.back().insert(Connections.back().end(), bytes.begin(), bytes.end());
        return inner_.Write(bytes);
    }
    bool HasBufferedInput() override { return inner_.HasBufferedInput(); }
    TNetResult WaitForInput(int timeoutMs) override { return inner_.WaitForInput(timeoutMs); }
    TNetResult ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) override {
        return inner_.ReadAvailable(into, count);
    }
    void Disconnect() override { inner_.Disconnect(); }
    bool Connected() const override { return inner_.Connected(); }

    std::vector<std::vector<std::uint8_t>> Connections;

  private:
    ITcpClient& inner_;
};

}  // namespace kstbell::test
