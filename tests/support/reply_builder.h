#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/frame.h"

namespace kstbell::test {

// Builds a reply frame: magic, code, status, then bytes placed at chosen offsets.
inline std::vector<std::uint8_t> MakeReply(std::uint8_t code, std::uint8_t status,
                                           std::size_t length = 6) {
    std::vector<std::uint8_t> r(length, 0);
    std::copy(FrameMagic.begin(), FrameMagic.end(), r.begin());
    r[4] = code;
    r[5] = status;
    return r;
}

inline void Put(std::vector<std::uint8_t>& r, std::size_t at,
                std::initializer_list<std::uint8_t> bytes) {
    if (r.size() < at + bytes.size()) r.resize(at + bytes.size(), 0);
    for (auto b : bytes)
        r[at++] = b;
}

inline void PutText(std::vector<std::uint8_t>& r, std::size_t at, std::string_view text) {
    if (r.size() < at + text.size()) r.resize(at + text.size(), 0);
    for (char c : text)
        r[at++] = static_cast<std::uint8_t>(c);
}

}  // namespace kstbell::test
