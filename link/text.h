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

// The signal strength caption: the device sends the negative dBm value as a 16-bit two's
// complement number.
inline std::string RssiText(std::uint16_t raw) {
    return "RSSI: " + std::to_string(int{raw} - 65536) + "dBm";
}

}  // namespace kstbell
