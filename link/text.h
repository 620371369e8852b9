#pragma once

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

// True when a raw signal strength is a value: the device sends the negative dBm value as a
// 16-bit two's complement number, so a raw value below 32768 (0 included, which means that no
// value is known) is none.
inline bool RssiKnown(std::uint16_t raw) {
    return raw >= 32768;
}

// The signal strength caption of a known raw value.
inline std::string RssiText(std::uint16_t raw) {
    return "RSSI: " + std::to_string(int{raw} - 65536) + "dBm";
}

}  // namespace kstbell
