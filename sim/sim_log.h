#pragma once

// The simulator's request log: one line per event on stderr, or nothing at all.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kstbell::sim {

class TSimLog {
  public:
    explicit TSimLog(bool enabled) : enabled_(enabled) {}
    void Line(const std::string& text) const;

  private:
    bool enabled_;
};

// "7 bytes: 5A 35 77 A5 21 00 00", cut after limit bytes with "...".
std::string FormatBytes(std::span<const std::uint8_t> bytes, std::size_t limit = 64);

// "33 (0x21)".
std::string FormatCode(std::uint8_t code);

}  // namespace kstbell::sim
