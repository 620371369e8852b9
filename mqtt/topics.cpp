#include "mqtt/topics.h"

#include <mosquitto.h>

#include "text/control.h"

namespace kstbell::mqtt {

namespace {

constexpr const char* kHex = "0123456789abcdef";

constexpr std::array<TCommandTopic, 3> kCommands = {TCommandTopic::SirenSet, TCommandTopic::FindMe,
                                                    TCommandTopic::Reboot};

}  // namespace

std::string HornId(const std::array<std::uint8_t, 6>& mac) {
    std::string id;
    for (std::uint8_t b : mac) {
        id += kHex[b >> 4];
        id += kHex[b & 0x0F];
    }
    return id;
}

std::optional<std::array<std::uint8_t, 6>> ParseHornId(std::string_view text) {
    if (text.size() != 12) return std::nullopt;
    std::array<std::uint8_t, 6> mac{};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        int v = 0;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            return std::nullopt;
        mac[i / 2] = static_cast<std::uint8_t>(mac[i / 2] * 16 + v);
    }
    return mac;
}

std::string MacText(const std::array<std::uint8_t, 6>& mac) {
    std::string text;
    for (std::uint8_t b : mac) {
        if (!text.empty()) text += ':';
        text += kHex[b >> 4];
        text += kHex[b & 0x0F];
    }
    return text;
}

std::optional<std::string> TopicPrefixProblem(std::string_view text) {
    if (text.empty()) return "must not be empty";
    if (text.size() > kMaxTopicPrefix)
        return "is " + std::to_string(text.size()) + " bytes long, more than " +
               std::to_string(kMaxTopicPrefix);
    // C0 and DEL, and C1 as UTF-8 (0xC2 0x80 to 0xC2 0x9F).
    if (const auto at = text::FirstControlCharacter(text); at != std::string_view::npos)
        return "must not contain control characters (one at byte " + std::to_string(at + 1) + ")";
    if (mosquitto_validate_utf8(text.data(), static_cast<int>(text.size())) != MOSQ_ERR_SUCCESS)
        return "must be UTF-8 text";
    if (text.find_first_of("+#") != std::string_view::npos)
        return "must not contain the wildcards + or #";
    if (text.front() == '$') return "must not start with $ (the broker's own topics)";
    if (text.front() == '/' || text.back() == '/') return "must not start or end with /";
    if (text.find("//") != std::string_view::npos) return "must not contain an empty level (//)";
    return std::nullopt;
}

const char* CommandName(TCommandTopic command) {
    switch (command) {
        case TCommandTopic::SirenSet:
            return "siren/set";
        case TCommandTopic::FindMe:
            return "find_me";
        case TCommandTopic::Reboot:
            return "reboot";
    }
    return "";
}

TTopics::TTopics(std::string base, std::string discoveryPrefix, std::string level)
    : base_(std::move(base)), prefix_(std::move(discoveryPrefix)), level_(std::move(level)) {}

std::string TTopics::ProgramAvailability() const {
    return base_ + "/" + level_ + "/availability";
}

std::string TTopics::Availability(const std::string& id) const {
    return base_ + "/" + id + "/availability";
}

std::string TTopics::State(const std::string& id) const {
    return base_ + "/" + id + "/state";
}

std::string TTopics::Result(const std::string& id) const {
    return base_ + "/" + id + "/result";
}

std::string TTopics::Command(const std::string& id, TCommandTopic command) const {
    return base_ + "/" + id + "/" + CommandName(command);
}

std::array<std::string, 3> TTopics::CommandSubscriptions() const {
    std::array<std::string, 3> subscriptions;
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        subscriptions[i] = Command("+", kCommands[i]);
    return subscriptions;
}

std::optional<TCommandAddress> TTopics::ParseCommand(std::string_view topic) const {
    if (topic.size() <= base_.size() + 1 || topic.substr(0, base_.size()) != base_ ||
        topic[base_.size()] != '/')
        return std::nullopt;
    topic.remove_prefix(base_.size() + 1);
    const auto slash = topic.find('/');
    if (slash == 0 || slash == std::string_view::npos) return std::nullopt;
    const std::string_view id = topic.substr(0, slash);
    const std::string_view rest = topic.substr(slash + 1);
    for (TCommandTopic c : kCommands) {
        if (rest == CommandName(c)) return TCommandAddress{std::string(id), c};
    }
    return std::nullopt;
}

std::string TTopics::DeviceDiscovery(const std::string& id) const {
    return prefix_ + "/device/" + id + "/config";
}

std::string TTopics::EntityDiscovery(const std::string& component, const std::string& id,
                                     const std::string& object) const {
    return prefix_ + "/" + component + "/" + id + "/" + object + "/config";
}

std::string TTopics::EntityDiscoverySubscription(const std::string& component,
                                                 const std::string& object) const {
    return EntityDiscovery(component, "+", object);
}

std::optional<std::string> TTopics::ParseEntityDiscovery(std::string_view topic,
                                                         const std::string& component,
                                                         const std::string& object) const {
    const std::string head = prefix_ + "/" + component + "/";
    const std::string tail = "/" + object + "/config";
    if (topic.size() <= head.size() + tail.size() || topic.substr(0, head.size()) != head ||
        topic.substr(topic.size() - tail.size()) != tail)
        return std::nullopt;
    const std::string_view id = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    if (id.find('/') != std::string_view::npos) return std::nullopt;
    return std::string(id);
}

std::string TTopics::ScanMarker() const {
    return base_ + "/" + level_ + "/scan";
}

}  // namespace kstbell::mqtt
