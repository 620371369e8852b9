#pragma once

// A bare loopback client for driving the simulator: one connection per call, as the desktop
// program does, with nothing of the program's own link code in between.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/device_simulator.h"

namespace kstbell::sim::test {

using TBytes = std::vector<std::uint8_t>;

struct TExchange {
    TBytes Reply;
    bool Reset = false;     // the connection ended with a reset
    bool TimedOut = false;  // no end of stream within the time allowed
};

// Magic, code, then the parameter bytes.
TBytes Frame(std::uint8_t code, const TBytes& params = {});
// A 60-byte file header (code 95) or a 40-byte firmware header (codes 90 and 95).
TBytes FileHeader(std::uint8_t code, std::size_t length, std::uint32_t sum, const std::string& path,
                  std::size_t total = 60);
// A 40-byte kill-file request.
TBytes KillFile(const std::string& path);

// Where a test connects: a horn's address and port, and the loopback address the connection
// comes from (empty: the system's choice, 127.0.0.1).
struct TTarget {
    std::string Address = "127.0.0.1";
    std::uint16_t Port = 0;
    std::string From;
};

// Sends the bytes (in pieces of piece bytes with a short pause between them when piece is not
// 0), ends the sending side (when halfClose) so that a short request is seen as such at once,
// then reads until the simulator ends the stream.
TExchange Exchange(std::uint16_t port, const TBytes& request, int timeoutMs = 3000,
                   std::size_t piece = 0, bool halfClose = true);
TExchange Exchange(const TTarget& target, const TBytes& request, int timeoutMs = 3000);
// Sends the bytes and closes without reading, as a send-only request does.
void SendOnly(std::uint16_t port, const TBytes& request);
// A file write as the desktop program does it: header, then the raw data connection.
TExchange WriteFile(std::uint16_t port, const std::string& path, const TBytes& content);
TExchange WriteFile(const TTarget& target, const std::string& path, const TBytes& content);
// Connects and returns the descriptor, for tests that drive a connection by hand; throws
// std::runtime_error when the connection is refused.
int Connect(const TTarget& target);

// Polls the condition until it holds or the time is up.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds limit = std::chrono::milliseconds(2000));

TSimOptions LoopbackOptions();

std::uint32_t Sum(const TBytes& bytes);
TBytes AsBytes(const std::string& text);

}  // namespace kstbell::sim::test
