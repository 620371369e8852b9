#pragma once

// The simulator's request log: one line per event on stderr, or nothing at all.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace kstbell::sim {

class TSimLog {
  public:
    // prefix goes after "kstbell-sim: " on every line, e.g. the horn's address on a site.
    explicit TSimLog(bool enabled, std::string prefix = {})
        : enabled_(enabled), prefix_(std::move(prefix)) {}
    void Line(const std::string& text) const;

  private:
    bool enabled_;
    std::string prefix_;
};

// "7 bytes: 5A 35 77 A5 21 00 00", cut after limit bytes with "...".
std::string FormatBytes(std::span<const std::uint8_t> bytes, std::size_t limit = 64);

// "33 (0x21)".
std::string FormatCode(std::uint8_t code);

// Text from the wire made safe for a log line: printable ASCII stays, a backslash doubles,
// newline, carriage return and tab become \n, \r and \t, every other byte \xHH ("\x1B").
std::string EscapeForLog(std::string_view text);

}  // namespace kstbell::sim
