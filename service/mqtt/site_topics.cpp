#include "service/mqtt/site_topics.h"

#include "mqtt/topics.h"

namespace kstbell::service {

namespace {

constexpr std::string_view kGroup = "group/";
constexpr std::string_view kAlarm = "alarm/";
constexpr std::string_view kSirenSet = "/siren/set";
constexpr std::string_view kStart = "/start";
constexpr std::string_view kSet = "/set";
constexpr std::string_view kStopAll = "stop_all";

// The NAME of "HEAD" NAME "TAIL" when text has that shape and NAME is one level.
std::optional<std::string> Between(std::string_view text, std::string_view head,
                                   std::string_view tail) {
    if (text.size() <= head.size() + tail.size() || text.substr(0, head.size()) != head ||
        text.substr(text.size() - tail.size()) != tail)
        return std::nullopt;
    const std::string_view name = text.substr(head.size(), text.size() - head.size() - tail.size());
    if (name.find('/') != std::string_view::npos) return std::nullopt;
    return std::string(name);
}

}  // namespace

std::optional<std::string> TopicLevelProblem(std::string_view name) {
    if (name.find('/') != std::string_view::npos) return "must not contain /";
    // The rules of a topic prefix hold for a level too: no wildcards, no control characters,
    // UTF-8, not empty and not longer than a prefix may be.
    return mqtt::TopicPrefixProblem(name);
}

TSiteTopics::TSiteTopics(std::string base, std::string serviceLevel)
    : base_(std::move(base)), level_(std::move(serviceLevel)) {}

std::string TSiteTopics::GroupCommand(const std::string& group) const {
    return Topic({TSiteCommandKind::GroupSiren, group});
}

std::string TSiteTopics::GroupState(const std::string& group) const {
    return base_ + "/" + std::string(kGroup) + group + "/state";
}

std::string TSiteTopics::AlarmStart(const std::string& alarm) const {
    return Topic({TSiteCommandKind::AlarmStart, alarm});
}

std::string TSiteTopics::AlarmCommand(const std::string& alarm) const {
    return Topic({TSiteCommandKind::AlarmSwitch, alarm});
}

std::string TSiteTopics::AlarmState(const std::string& alarm) const {
    return base_ + "/" + std::string(kAlarm) + alarm + "/state";
}

std::string TSiteTopics::StopAll() const {
    return Topic({TSiteCommandKind::StopAll, {}});
}

std::string TSiteTopics::Result() const {
    return base_ + "/" + level_ + "/result";
}

std::string TSiteTopics::CommandName(const TSiteAddress& address) const {
    switch (address.Kind) {
        case TSiteCommandKind::GroupSiren:
            return std::string(kGroup) + address.Name + std::string(kSirenSet);
        case TSiteCommandKind::AlarmStart:
            return std::string(kAlarm) + address.Name + std::string(kStart);
        case TSiteCommandKind::AlarmSwitch:
            return std::string(kAlarm) + address.Name + std::string(kSet);
        case TSiteCommandKind::StopAll:
            return level_ + "/" + std::string(kStopAll);
    }
    return {};
}

std::string TSiteTopics::Topic(const TSiteAddress& address) const {
    return base_ + "/" + CommandName(address);
}

std::vector<std::string> TSiteTopics::CommandSubscriptions() const {
    return {GroupCommand("+"), AlarmStart("+"), AlarmCommand("+"), StopAll()};
}

std::optional<TSiteAddress> TSiteTopics::Parse(std::string_view topic) const {
    if (topic.size() <= base_.size() + 1 || topic.substr(0, base_.size()) != base_ ||
        topic[base_.size()] != '/')
        return std::nullopt;
    topic.remove_prefix(base_.size() + 1);
    if (topic == level_ + "/" + std::string(kStopAll))
        return TSiteAddress{TSiteCommandKind::StopAll, {}};
    if (auto name = Between(topic, kGroup, kSirenSet))
        return TSiteAddress{TSiteCommandKind::GroupSiren, std::move(*name)};
    if (auto name = Between(topic, kAlarm, kStart))
        return TSiteAddress{TSiteCommandKind::AlarmStart, std::move(*name)};
    if (auto name = Between(topic, kAlarm, kSet))
        return TSiteAddress{TSiteCommandKind::AlarmSwitch, std::move(*name)};
    return std::nullopt;
}

}  // namespace kstbell::service
