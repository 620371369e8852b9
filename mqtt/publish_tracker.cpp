#include "mqtt/publish_tracker.h"

namespace kstbell::mqtt {

namespace {

constexpr int kFirstFailure = 0x80;

}  // namespace

std::optional<TRefusal> TPublishTracker::Sent(int mid, std::string topic) {
    const std::lock_guard lock(m_);
    const auto early = early_.find(mid);
    if (early == early_.end()) {
        inflight_[mid] = std::move(topic);
        return std::nullopt;
    }
    const int reason = early->second;
    early_.erase(early);
    if (reason < kFirstFailure) return std::nullopt;
    return TRefusal{std::move(topic), reason};
}

std::optional<TRefusal> TPublishTracker::Acknowledged(int mid, int reason) {
    const std::lock_guard lock(m_);
    const auto sent = inflight_.find(mid);
    if (sent == inflight_.end()) {
        if (early_.size() >= kMaxEarly) early_.clear();
        early_[mid] = reason;
        return std::nullopt;
    }
    std::string topic = std::move(sent->second);
    inflight_.erase(sent);
    if (reason < kFirstFailure) return std::nullopt;
    return TRefusal{std::move(topic), reason};
}

void TPublishTracker::Reset() {
    const std::lock_guard lock(m_);
    inflight_.clear();
    early_.clear();
}

}  // namespace kstbell::mqtt
