#pragma once

#include <cstdint>

namespace kstbell {

struct TContext;

// The largest image the device takes: exactly this length is accepted.
inline constexpr std::int64_t MaxImageLength = 2'097'152;
inline constexpr const char* kFirmwareFilter = "bin|*.bin";
inline constexpr const char* kFirmwareDefaultExt = "*.bin";

// Lets the operator pick an image, uploads it and hands its byte sum to the device; the
// supported model checks the sum and restarts on a match. The caller has located the device.
void UpdateFirmware(TContext& ctx);

}  // namespace kstbell
