#include "bridge/bridge.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "platform/backends.h"

namespace kstbell::bridge {

namespace {

std::vector<site::THornEntry> Entries(const std::vector<THornEntry>& horns) {
    std::vector<site::THornEntry> out;
    out.reserve(horns.size());
    for (const auto& h : horns)
        out.push_back({h.Address, h.Name});
    return out;
}

site::TSiteConfig SiteConfig(const TBridgeConfig& config, const std::vector<THornEntry>& horns) {
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

std::string DefaultClientId(const std::string& base) {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) != 0 || host[0] == '\0')
        host = {'h', 'o', 's', 't'};
    std::string id = "kstbell-bridge-" + std::string(host.data()) + "-" + base;
    std::replace(id.begin(), id.end(), '/', '-');
    return id;
}

TBridge::TBridge(const TBridgeConfig& config, const std::vector<THornEntry>& horns,
                 std::string password, TLog log)
    : config_(config), log_(std::move(log)), network_(MakeHostNetworkSource()) {
    TTopics topics(config.BaseTopic, config.DiscoveryPrefix);
    // Everything the front publishes passes the discovery migration on its way to the broker.
    const auto publish = [this](std::vector<TMessage> m) { mqtt_->Publish(std::move(m)); };
    migration_ = std::make_unique<TDiscoveryMigration>(topics, log_);
    front_ = std::make_unique<TMqttFront>(
        horns, topics,
        [this, publish](std::vector<TMessage> m) { migration_->Outgoing(std::move(m), publish); },
        log_);
    site_ = std::make_unique<site::TSite>(SiteConfig(config, horns), *network_, nullptr, *this);

    TMqttOptions o;
    std::string ignored;
    ParseBrokerUrl(config.BrokerUrl, o.Url, ignored);
    o.ClientId = config.ClientId.empty() ? DefaultClientId(config.BaseTopic) : config.ClientId;
    o.Username = config.Username;
    o.Password = std::move(password);
    o.CaFile = config.CaFile;
    o.CertFile = config.CertFile;
    o.KeyFile = config.KeyFile;
    o.KeepAliveSeconds = config.KeepAliveSeconds;
    o.Will = {topics.BridgeAvailability(), kOffline, true};
    const auto subscriptions = topics.CommandSubscriptions();
    o.Subscriptions.assign(subscriptions.begin(), subscriptions.end());
    o.RemoveRetained = o.Subscriptions;
    for (auto& s : migration_->Subscriptions())
        o.Subscriptions.push_back(std::move(s));
    mqtt_ = std::make_unique<TMqttClient>(
        o,
        [this] {
            const TMessage marker = migration_->Connected();
            site_->Registry().Visit([this](const std::vector<site::THornView>& views) {
                migration_->Outgoing(front_->Republish(views), [this](std::vector<TMessage> r) {
                    mqtt_->Replace(std::move(r));
                });
            });
            mqtt_->Publish({marker});
        },
        [this, publish](const std::string& topic, std::string_view payload, bool retained) {
            if (migration_->Received(topic, payload, publish)) return;
            if (const auto command = front_->Received(site_->Registry(), topic, payload, retained))
                site_->Submit(command->first, command->second);
        },
        log_);
}

TBridge::~TBridge() {
    Stop();
}

void TBridge::OnHornEvents(const std::vector<site::THornEvent>& events) {
    front_->OnEvents(events);
}

bool TBridge::Start(std::string& error) {
    if (started_) return true;
    if (!mqtt_->Start(error)) return false;
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
    const bool connected = mqtt_->Connected();
    front_->Farewell(site_->Registry().Snapshot());
    if (!mqtt_->Flush(std::chrono::seconds(3)) && connected)
        log_("the broker did not confirm the offline messages before the disconnection");
    mqtt_->Stop();
}

}  // namespace kstbell::bridge
