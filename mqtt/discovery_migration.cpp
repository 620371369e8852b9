#include "mqtt/discovery_migration.h"

#include <algorithm>

#include "mqtt/discovery.h"
#include "mqtt/horn_discovery.h"

namespace kstbell::mqtt {

TDiscoveryMigration::TDiscoveryMigration(TTopics topics, TLog log,
                                         std::vector<std::string> otherAvailability)
    : topics_(std::move(topics)),
      log_(std::move(log)),
      otherAvailability_(std::move(otherAvailability)) {}

std::vector<std::string> TDiscoveryMigration::Subscriptions() const {
    std::vector<std::string> out;
    for (const auto& e : kHornEntities)
        out.push_back(topics_.EntityDiscoverySubscription(e.Platform, e.Key));
    for (const auto& topic : otherAvailability_)
        out.push_back(topic);
    out.push_back(topics_.ScanMarker());
    return out;
}

TMessage TDiscoveryMigration::Connected() {
    const std::lock_guard lock(m_);
    ++connection_;
    held_.clear();  // the republication that follows brings every horn's discovery again
    deadline_ = std::chrono::steady_clock::now() + kScanTimeout;
    scanning_ = true;
    return {topics_.ScanMarker(), std::to_string(connection_), false};
}

std::optional<std::string> TDiscoveryMigration::DeviceId(const std::string& topic) const {
    const std::string head = topics_.DiscoveryPrefix() + "/device/";
    const std::string_view tail = "/config";
    if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0)
        return std::nullopt;
    return topic.substr(head.size(), topic.size() - head.size() - tail.size());
}

void TDiscoveryMigration::Send(const std::string& id, std::vector<TMessage>& out) {
    std::set<std::string> old;
    if (const auto found = old_.find(id); found != old_.end()) {
        old = std::move(found->second);
        oldCount_ -= old.size();
        old_.erase(found);
    }
    for (const auto& topic : old)
        out.push_back({topic, kMigrateDiscovery, false});
    out.push_back({topics_.DeviceDiscovery(id), latest_.at(id), true});
    for (const auto& topic : old)
        out.push_back({topic, "", true});
    if (!old.empty())
        log_("horn " + id + ": " + std::to_string(old.size()) +
             " per-entity discovery topic(s) of an earlier version handed over to its "
             "device-based discovery and removed");
}

void TDiscoveryMigration::EndScan(std::vector<TMessage>& out) {
    scanning_ = false;
    for (const auto& id : held_)
        Send(id, out);
    held_.clear();
}

void TDiscoveryMigration::Outgoing(std::vector<TMessage> messages, const TPublish& publish) {
    if (messages.empty() && !scanning_) return;  // a poll that changed nothing
    const std::lock_guard lock(m_);
    std::vector<TMessage> out;
    if (scanning_ && std::chrono::steady_clock::now() >= deadline_) {
        log_(
            "the broker did not return the bridge's scan marker in time: discovery goes out "
            "without looking for per-entity topics of earlier versions");
        EndScan(out);
    }
    for (auto& m : messages) {
        const auto id = DeviceId(m.Topic);
        if (!id || m.Payload.empty()) {
            out.push_back(std::move(m));
            continue;
        }
        latest_[*id] = std::move(m.Payload);
        if (!scanning_) {
            Send(*id, out);
        } else if (std::find(held_.begin(), held_.end(), *id) == held_.end()) {
            held_.push_back(*id);
        }
    }
    publish(std::move(out));
}

bool TDiscoveryMigration::Received(const std::string& topic, std::string_view payload,
                                   const TPublish& publish, bool retained) {
    if (std::find(otherAvailability_.begin(), otherAvailability_.end(), topic) !=
        otherAvailability_.end()) {
        // Only what the broker kept from before this connection: the scan is still on.
        if (!retained || !scanning_ || payload.empty() || payload == kOffline) return true;
        log_("a retained '" + std::string(payload) + "' on " + topic +
             " was left by another program that is not running: replaced by 'offline', so its "
             "horns do not show as available; if it does run, give it a base topic of its own");
        publish({{topic, kOffline, true}});
        return true;
    }
    if (topic == topics_.ScanMarker()) {
        const std::lock_guard lock(m_);
        if (scanning_ && payload == std::to_string(connection_)) {
            std::vector<TMessage> out;
            EndScan(out);
            publish(std::move(out));
        }
        return true;
    }
    for (const auto& e : kHornEntities) {
        const auto id = topics_.ParseEntityDiscovery(topic, e.Platform, e.Key);
        if (!id) continue;
        // Ours as the earlier versions wrote it; an empty payload (removed) and a hand-over
        // have no unique id.
        const std::string mark = "\"unique_id\":\"kstbell_" + *id + "_" + e.Key + "\"";
        if (payload.find(mark) == std::string_view::npos) return true;
        const std::lock_guard lock(m_);
        auto& old = old_[*id];
        if (!old.count(topic)) {
            if (oldCount_ >= kMaxOldTopics) {
                if (old.empty()) old_.erase(*id);
                return true;
            }
            old.insert(topic);
            ++oldCount_;
        }
        // A horn already announced (an old configuration that came back later) moves now.
        if (!scanning_ && latest_.count(*id)) {
            std::vector<TMessage> out;
            Send(*id, out);
            publish(std::move(out));
        }
        return true;
    }
    return false;
}

}  // namespace kstbell::mqtt
