#pragma once

#include <cstdint>

namespace kstbell {

// The locating check: 1 when exactly one connected Wi-Fi adapter of this PC is on the device
// network, 0 otherwise (having shown why in the main window).
class ILocator {
  public:
    virtual ~ILocator() = default;
    virtual std::uint8_t LocateDevice() = 0;
};

}  // namespace kstbell
