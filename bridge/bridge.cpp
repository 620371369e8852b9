#include "bridge/bridge.h"

#include <chrono>

#include "platform/backends.h"

namespace kstbell::bridge {

namespace {

std::vector<site::THornEntry> Entries(const std::vector<mqtt::THornEntry>& horns) {
    std::vector<site::THornEntry> out;
    out.reserve(horns.size());
    for (const auto& h : horns)
        out.push_back({h.Address, h.Name});
    return out;
}

site::TSiteConfig SiteConfig(const mqtt::TBridgeConfig& config,
                             const std::vector<mqtt::THornEntry>& horns) {
    site::TSiteConfig c;
    c.Horns = Entries(horns);
    c.Sessions.Parallel = config.Parallel;
    c.Sessions.Port = config.DevicePort;
    c.Sessions.ConnectTimeoutMs = config.ConnectTimeoutMs;
    c.Sessions.ReplyWaitMs = config.ReplyWaitMs;
    c.Registry.InfoEveryPolls = config.InfoEveryPolls;
    c.PollPeriod = std::chrono::milliseconds(config.PollPeriodMs);
    // The bridge starts no rings, and a horn sounding without one is the automation's business.
    c.Rings.StopUnowned = false;
    return c;
}

}  // namespace

TBridge::TBridge(const mqtt::TBridgeConfig& config, const std::vector<mqtt::THornEntry>& horns,
                 std::string password, mqtt::TLog log)
    : config_(config), log_(std::move(log)), network_(MakeHostNetworkSource()) {
    site_ = std::make_unique<site::TSite>(SiteConfig(config, horns), *network_, nullptr, *this);
    mqtt::TBrokerLink::THooks hooks;
    hooks.HornCommand = [this](const mqtt::THornRequest& r) { site_->Submit(r.Horn, r.Command); };
    link_ = std::make_unique<mqtt::TBrokerLink>(config, horns, std::move(password),
                                                mqtt::TFrontOptions{}, site_->Registry(),
                                                std::move(hooks), log_);
}

TBridge::~TBridge() {
    Stop();
}

void TBridge::OnHornEvents(const std::vector<site::THornEvent>& events) {
    link_->OnHornEvents(events);
}

bool TBridge::Start(std::string& error) {
    if (started_) return true;
    if (!link_->Start(error)) return false;
    started_ = true;
    log_("bridging " + std::to_string(site_->Count()) + " horn(s), polled every " +
         std::to_string(config_.PollPeriodMs) + " ms, under " + config_.BaseTopic + "/");
    site_->Start();
    return true;
}

void TBridge::Stop() {
    if (!started_ || stopped_) return;
    stopped_ = true;
    // Waiting commands end now, cancelled; only what is on the wire is finished.
    site_->Stop();
    link_->Stop();
}

}  // namespace kstbell::bridge
