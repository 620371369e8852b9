#pragma once

// The MQTT topics of the program (the bridge or the site service) and of each horn, and the
// horn's id.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::mqtt {

// A horn's id: its MAC address as twelve lower-case hexadecimal digits, no separators.
std::string HornId(const std::array<std::uint8_t, 6>& mac);
// The MAC address a horn id names, or nothing when text is no horn id.
std::optional<std::array<std::uint8_t, 6>> ParseHornId(std::string_view text);
// The MAC address as "02:4b:7a:3c:60:01".
std::string MacText(const std::array<std::uint8_t, 6>& mac);

// The longest base topic or discovery prefix taken, in bytes: every topic is built on it.
inline constexpr std::size_t kMaxTopicPrefix = 200;

// Why text cannot be a fixed topic prefix, or nothing when it can: it must be 1 to
// kMaxTopicPrefix bytes of UTF-8 without control characters, wildcards (+ #), empty levels, a
// leading or trailing "/", or a leading "$" (the broker's own topics).
std::optional<std::string> TopicPrefixProblem(std::string_view text);

enum class TCommandTopic { SirenSet, FindMe, Reboot };

// "siren/set", "find_me", "reboot".
const char* CommandName(TCommandTopic command);

struct TCommandAddress {
    std::string Id;
    TCommandTopic Command;
};

class TTopics {
  public:
    // level: the program's own level under the base ("bridge", "service").
    TTopics(std::string base, std::string discoveryPrefix, std::string level = "bridge");

    const std::string& Base() const { return base_; }
    const std::string& DiscoveryPrefix() const { return prefix_; }
    // BASE/LEVEL/availability: the program's availability and last will.
    std::string ProgramAvailability() const;
    std::string Availability(const std::string& id) const;
    std::string State(const std::string& id) const;
    std::string Result(const std::string& id) const;
    std::string Command(const std::string& id, TCommandTopic command) const;
    // The subscriptions that carry every horn's commands.
    std::array<std::string, 3> CommandSubscriptions() const;
    // The horn and command a received topic names, or nothing when it names none.
    std::optional<TCommandAddress> ParseCommand(std::string_view topic) const;
    // The device-based discovery topic of a horn: PREFIX/device/ID/config.
    std::string DeviceDiscovery(const std::string& id) const;
    // The per-entity discovery topic that earlier versions published for each entity of a
    // horn: PREFIX/COMPONENT/ID/OBJECT/config.
    std::string EntityDiscovery(const std::string& component, const std::string& id,
                                const std::string& object) const;
    // The subscription that carries every horn's per-entity topic of one entity.
    std::string EntityDiscoverySubscription(const std::string& component,
                                            const std::string& object) const;
    // The horn id a per-entity discovery topic of that entity names, or nothing.
    std::optional<std::string> ParseEntityDiscovery(std::string_view topic,
                                                    const std::string& component,
                                                    const std::string& object) const;
    // Where the program sends itself a marker after subscribing (BASE/LEVEL/scan): once it
    // comes back, every retained message of the subscriptions before it has arrived.
    std::string ScanMarker() const;

  private:
    std::string base_;
    std::string prefix_;
    std::string level_;
};

}  // namespace kstbell::mqtt
