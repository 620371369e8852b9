#pragma once

// A horn as one device of the automation system: a siren with the tones 0 to 3 (and a duration
// when the program's rings end by themselves), its input as a binary sensor, its signal
// strength, and the Find me and Reboot buttons; available while the horn and the program are.

#include <array>
#include <string>
#include <string_view>

#include "mqtt/horn_view.h"
#include "mqtt/messages.h"
#include "mqtt/program.h"
#include "mqtt/topics.h"

namespace kstbell::mqtt {

struct THornEntity {
    const char* Platform;
    const char* Key;
};

// The horn's components. Their keys are the object ids of the per-entity discovery topics that
// earlier versions published, so the automation system takes each for the entity it had.
inline constexpr std::array<THornEntity, 5> kHornEntities = {{{"siren", "siren"},
                                                              {"binary_sensor", "input"},
                                                              {"sensor", "rssi"},
                                                              {"button", "find_me"},
                                                              {"button", "reboot"}}};

// The retained device-based discovery message of a horn, sent by program.
TMessage HornDiscovery(const TTopics& topics, const THornIdentity& identity,
                       const TProgram& program, const THornDevice& device = {});

// Whether name is a device class of the automation system's binary sensors (door, window,
// smoke, ...), which the input may be configured as.
bool IsInputClass(std::string_view name);
// Every such class, separated by ", ".
std::string InputClassList();

}  // namespace kstbell::mqtt
