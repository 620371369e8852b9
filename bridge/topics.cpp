#include "bridge/topics.h"

namespace kstbell::bridge {

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

bool ValidTopicPrefix(std::string_view text) {
    if (text.empty() || text.front() == '/' || text.back() == '/') return false;
    if (text.find_first_of("+#") != std::string_view::npos) return false;
    if (text.find('\0') != std::string_view::npos) return false;
    return text.find("//") == std::string_view::npos;
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

TTopics::TTopics(std::string base, std::string discoveryPrefix)
    : base_(std::move(base)), prefix_(std::move(discoveryPrefix)) {}

std::string TTopics::BridgeAvailability() const {
    return base_ + "/bridge/availability";
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

std::string TTopics::Discovery(const std::string& component, const std::string& id,
                               const std::string& object) const {
    return prefix_ + "/" + component + "/" + id + "/" + object + "/config";
}

}  // namespace kstbell::bridge
