#pragma once

#include <cstdint>

namespace kstbell {

// A colour as 0x00RRGGBB, or one of the system colours, which carry 0xFF in the top byte and
// are resolved by the window from the desktop palette.
using TColor = std::uint32_t;

inline constexpr TColor clMenu = 0xFF000004;     // the system's menu background
inline constexpr TColor cl3DLight = 0xFF000016;  // the system's 3-D light colour
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0xFF0000;
inline constexpr TColor clNavy = 0x000080;

inline constexpr TColor kOutputOnColor = 0xFF8000;
inline constexpr TColor kInputOnColor = 0xFF0080;
inline constexpr TColor kRssiColor = 0xFF4081;
inline constexpr TColor kLocationColor = 0x408476;

constexpr bool IsSystemColor(TColor c) {
    return (c & 0xFF000000u) != 0;
}

}  // namespace kstbell
