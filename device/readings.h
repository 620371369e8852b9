#pragma once

// The device's answers as values: each operation returns what it did and, when the device
// answered, what it said, so that code above the session reads no reply bytes and no session
// fields.

#include <cstdint>

#include "device/outcome.h"
#include "protocol/device_info.h"

namespace kstbell {

class TDeviceSession;

struct TStatusReading {
    TOutcome Outcome;
    TDeviceStatus Status;  // when Outcome is Done
};

struct TInfoReading {
    TOutcome Outcome;
    TDeviceInfo Info;        // when Outcome is Done: as reported, whatever address it names
    bool Supported = false;  // when Outcome is Done: the model is the supported horn
};

struct TRelayReading {
    TOutcome Outcome;
    std::uint8_t Output = 0;  // when Outcome is Done: the output and input as the device
    std::uint8_t Input = 0;   // answered the switch
};

// The device's status: output, input, signal strength, armed.
TStatusReading ReadStatus(TDeviceSession& s);
// The device's information.
TInfoReading ReadInfo(TDeviceSession& s);
// Switches relay output 1 on (value 1) sounding tone, or off (value 0).
TRelayReading SwitchRelay(TDeviceSession& s, std::uint8_t value, std::uint8_t tone);

}  // namespace kstbell
