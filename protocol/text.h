#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kstbell {

// Two upper-case hexadecimal digits.
inline std::string Hex2(std::uint8_t v) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", v);
    return buf;
}

// At least eight upper-case hexadecimal digits, zero-filled on the left.
inline std::string Hex8(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(v));
    return buf;
}

// A firmware version as the device reports it: "01.0A" for major 1, minor 10.
inline std::string FirmwareVersionText(std::uint8_t major, std::uint8_t minor) {
    return Hex2(major) + "." + Hex2(minor);
}

// "AA:BB:CC", each byte as two upper-case hexadecimal digits.
inline std::string MacToText(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i != 0) text += ':';
        text += Hex2(bytes[i]);
    }
    return text;
}

}  // namespace kstbell
