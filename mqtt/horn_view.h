#pragma once

// What the bridge publishes about one horn: who it is (from its information reply) and how it
// is (from its last answer).

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kstbell::mqtt {

struct THornIdentity {
    std::string Id;  // see HornId
    std::array<std::uint8_t, 6> Mac{};
    std::string Location;    // the horn's own text, as it came
    std::string Firmware;    // "01.0A": major and minor in hexadecimal, as the desktop shows it
    std::string Address;     // the address the bridge talks to
    std::string Name;        // from the configuration; empty: the location names it
    std::string InputClass;  // from the configuration: the input's device class, empty: none

    bool operator==(const THornIdentity&) const = default;
};

// How a horn's device sits among the others in the automation system: its name (empty: its
// DisplayName), the identifier of the device it is reached through (empty: none), and the page
// that manages it (empty: none).
struct THornDevice {
    std::string Name;
    std::string ViaDevice;
    std::string ConfigurationUrl;
};

struct THornState {
    bool Output = false;
    bool Input = false;
    bool Armed = false;
    std::uint8_t Tone = 0;  // the last tone switched on through this bridge
    std::optional<int> RssiDbm;

    bool operator==(const THornState&) const = default;
};

}  // namespace kstbell::mqtt
