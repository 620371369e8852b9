#pragma once

#include <cstdint>

#include "link/locator.h"

namespace kstbell {

// Placeholder until the host network survey is wired in: never finds the device, so nothing
// is ever sent to a device address.
class TNoDeviceLocator : public ILocator {
  public:
    std::uint8_t LocateDevice() override { return 0; }
};

}  // namespace kstbell
