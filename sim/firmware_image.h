#pragma once

// What the device makes of its application image "/sys/mcuimg.bin": the version it runs, read
// from the image when it boots, and the one-byte damage the corrupt-image fault does to an image
// on its way to flash.

#include <cstdint>
#include <string_view>
#include <vector>

namespace kstbell::sim {

// The image carries its version as this marker followed by two bytes, major then minor.
inline constexpr std::string_view kFirmwareVersionMarker = "FWVER=";

struct TFirmwareVersion {
    std::uint8_t Major = 0;
    std::uint8_t Minor = 0;
    bool operator==(const TFirmwareVersion&) const = default;
};

// The version the device runs when it boots without an image in flash, or with one that does
// not name its version.
inline constexpr TFirmwareVersion kBuiltInFirmware{1, 0x0A};

// The version an image names: the two bytes after the first marker in it. builtIn when the image
// has no marker, or when the first one is too close to its end to be followed by two bytes.
TFirmwareVersion FirmwareVersionOf(const std::vector<std::uint8_t>& image,
                                   TFirmwareVersion builtIn = kBuiltInFirmware);

// Adds 1 (modulo 256) to the image's middle byte, byte size / 2, so that its byte sum changes by
// +1, or by -255 when that byte was 0xFF. A one-byte image has byte 0 changed. An empty image
// has no byte to change and stays as it is; false then.
bool CorruptImage(std::vector<std::uint8_t>& image);

}  // namespace kstbell::sim
