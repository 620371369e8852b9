#include "sim/firmware_image.h"

#include <algorithm>

namespace kstbell::sim {

TFirmwareVersion FirmwareVersionOf(const std::vector<std::uint8_t>& image,
                                   TFirmwareVersion builtIn) {
    const auto found = std::search(
        image.begin(), image.end(), kFirmwareVersionMarker.begin(), kFirmwareVersionMarker.end(),
        [](std::uint8_t byte, char wanted) { return byte == static_cast<std::uint8_t>(wanted); });
    if (found == image.end()) return builtIn;
    const auto offset = static_cast<std::size_t>(found - image.begin());
    const std::size_t version = offset + kFirmwareVersionMarker.size();
    if (image.size() - version < 2) return builtIn;
    return TFirmwareVersion{image[version], image[version + 1]};
}

bool CorruptImage(std::vector<std::uint8_t>& image) {
    if (image.empty()) return false;
    std::uint8_t& victim = image[image.size() / 2];
    victim = static_cast<std::uint8_t>(victim + 1);
    return true;
}

}  // namespace kstbell::sim
