#pragma once

// A file with one line per change of a simulated horn's relay, stamped with the wall clock, so
// that a benchmark can tell when each horn of a site switched without asking the horns:
//   1765331460123456 127.0.78.1 1 2
// microseconds since the Unix epoch, the horn's address, the relay (0 off, other on) and the
// tone of the last set-output request. Each line is flushed as it is written.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace kstbell::sim {

std::string RelayLogLine(std::chrono::system_clock::time_point when, const std::string& address,
                         std::uint8_t relay, std::uint8_t tone);

class TRelayLog {
  public:
    // Appends to path; throws std::runtime_error with the reason when it cannot be opened.
    explicit TRelayLog(const std::string& path);
    // Not thread-safe: the site serialises its horns, and so their calls.
    void Changed(const std::string& address, std::uint8_t relay, std::uint8_t tone);

  private:
    struct TClose {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, TClose> file_;
};

}  // namespace kstbell::sim
