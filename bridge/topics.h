#pragma once

// The MQTT topics of the bridge and of each horn, and the horn's id.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::bridge {

// A horn's id: its MAC address as twelve lower-case hexadecimal digits, no separators.
std::string HornId(const std::array<std::uint8_t, 6>& mac);
// The MAC address a horn id names, or nothing when text is no horn id.
std::optional<std::array<std::uint8_t, 6>> ParseHornId(std::string_view text);
// The MAC address as "02:4b:7a:3c:60:01".
std::string MacText(const std::array<std::uint8_t, 6>& mac);

// True when text is usable as a fixed topic prefix: not empty, no wildcard, no empty level, no
// leading or trailing "/".
bool ValidTopicPrefix(std::string_view text);

enum class TCommandTopic { SirenSet, FindMe, Reboot };

// "siren/set", "find_me", "reboot".
const char* CommandName(TCommandTopic command);

struct TCommandAddress {
    std::string Id;
    TCommandTopic Command;
};

class TTopics {
  public:
    TTopics(std::string base, std::string discoveryPrefix);

    const std::string& Base() const { return base_; }
    std::string BridgeAvailability() const;
    std::string Availability(const std::string& id) const;
    std::string State(const std::string& id) const;
    std::string Result(const std::string& id) const;
    std::string Command(const std::string& id, TCommandTopic command) const;
    // The subscriptions that carry every horn's commands.
    std::array<std::string, 3> CommandSubscriptions() const;
    // The horn and command a received topic names, or nothing when it names none.
    std::optional<TCommandAddress> ParseCommand(std::string_view topic) const;
    // The discovery topic of one entity: PREFIX/COMPONENT/ID/OBJECT/config.
    std::string Discovery(const std::string& component, const std::string& id,
                          const std::string& object) const;

  private:
    std::string base_;
    std::string prefix_;
};

}  // namespace kstbell::bridge
