#pragma once

#include <cstdint>

#include "device/outcome.h"

namespace kstbell {

class TDeviceSession;

// Asks the device to switch the relay output to value (1 on, 0 off) sounding the given tone,
// and traces the request whatever its outcome. Busy, with nothing sent or traced, while
// another transaction runs.
TOutcome SetRelayOutput(TDeviceSession& s, std::uint8_t loop, std::uint8_t value,
                        std::uint8_t tone);

}  // namespace kstbell
