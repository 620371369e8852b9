#pragma once

// Actions on the device as a whole: the Wi-Fi mode and the reset to factory settings, after
// both of which the device restarts at once. The reboot is RequestReset; the firmware update
// is UploadFirmware.

#include <cstdint>

#include "device/outcome.h"

namespace kstbell {

class TDeviceSession;

inline constexpr std::uint8_t kAccessPointMode = 2;
inline constexpr std::uint8_t kStationMode = 0;

// Each locates the device first: NotLocated when it was not found and nothing was sent. The
// device restarts at once and may not answer: a missing answer counts as done, a refusal not.
TOutcome SetWifiMode(TDeviceSession& s, bool accessPoint);
TOutcome ResetToDefault(TDeviceSession& s, std::uint8_t parameter);

}  // namespace kstbell
