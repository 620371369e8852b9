#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kstbell {

enum class TNetStatus {
    Ok,        // done
    TimedOut,  // nothing happened within the time allowed
    Closed,    // the peer closed the connection
    Failed,    // the socket layer reported an error; Message says which
};

struct TNetResult {
    TNetStatus Status = TNetStatus::Ok;
    std::string Message;
    bool Ok() const { return Status == TNetStatus::Ok; }
};

// One TCP connection at a time to the device. Every wait runs in slices and pumps window
// events between them. No path leaves a socket open after Disconnect or destruction.
class ITcpClient {
  public:
    virtual ~ITcpClient() = default;
    virtual void SetHost(const std::string& host, std::uint16_t port) = 0;
    // Opens the connection; TimedOut when it was not made within timeoutMs, Failed when it was
    // refused or the address is unusable.
    virtual TNetResult Connect(int timeoutMs) = 0;
    virtual TNetResult Write(std::span<const std::uint8_t> bytes) = 0;
    // True when received bytes (or the peer's close) wait to be read.
    virtual bool HasBufferedInput() = 0;
    // Waits up to timeoutMs for input; Ok as soon as there is some, TimedOut otherwise.
    virtual TNetResult WaitForInput(int timeoutMs) = 0;
    // Reads what has arrived and goes on until the peer closes or a short quiet gap passes.
    // Bytes beyond into.size() are read and dropped. count receives the bytes stored. Closed
    // (with what was read before it) when the peer closed the connection.
    virtual TNetResult ReadAvailable(std::span<std::uint8_t> into, std::size_t& count) = 0;
    virtual void Disconnect() = 0;
    virtual bool Connected() const = 0;
    // True when no window events need to run during a wait: a caller may then wait for a reply
    // in one long WaitForInput instead of many short ones.
    virtual bool WaitsWhole() const { return false; }
};

}  // namespace kstbell
