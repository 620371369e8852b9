#pragma once

// Which program speaks for the horns on the broker: kstbell-bridge, or the site service kstbelld
// through its MQTT front. It names the program's own level under the base topic (its
// availability and last will, BASE/LEVEL/availability), the origin of its discovery messages and
// its default client id, and says whether its sirens take a duration (the service's rings end
// by themselves; the bridge only switches relays).

#include <string>

namespace kstbell::mqtt {

struct TProgram {
    std::string Name;   // "kstbell-bridge"
    std::string Level;  // "bridge"
    bool SirenDuration = false;
};

inline const TProgram kBridgeProgram{"kstbell-bridge", "bridge", false};
inline const TProgram kServiceProgram{"kstbelld", "service", true};

}  // namespace kstbell::mqtt
