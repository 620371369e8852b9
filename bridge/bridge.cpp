#include "bridge/bridge.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

#include "device/readings.h"
#include "device/session.h"
#include "platform/backends.h"

namespace kstbell::bridge {

namespace {

std::vector<std::string> Addresses(const std::vector<THornEntry>& horns) {
    std::vector<std::string> out;
    out.reserve(horns.size());
    for (const auto& h : horns)
        out.push_back(h.Address);
    return out;
}

std::vector<site::THornEntry> Entries(const std::vector<THornEntry>& horns) {
    std::vector<site::THornEntry> out;
    out.reserve(horns.size());
    for (const auto& h : horns)
        out.push_back({h.Address, h.Name});
    return out;
}

site::TSessionOptions SessionOptions(const TBridgeConfig& config, const std::atomic<bool>* stop) {
    site::TSessionOptions o;
    o.Stop = stop;
    o.Parallel = config.Parallel;
    o.Port = config.DevicePort;
    o.ConnectTimeoutMs = config.ConnectTimeoutMs;
    o.ReplyWaitMs = config.ReplyWaitMs;
    return o;
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
    : config_(config),
      log_(std::move(log)),
      network_(MakeHostNetworkSource()),
      sessions_(Addresses(horns), SessionOptions(config, &stopping_), *network_) {
    TTopics topics(config.BaseTopic, config.DiscoveryPrefix);
    front_ = std::make_unique<TMqttFront>(
        horns.size(), topics, [this](std::vector<TMessage> m) { mqtt_->Publish(std::move(m)); },
        log_);
    site::TRegistryOptions ro;
    ro.InfoEveryPolls = config.InfoEveryPolls;
    registry_ = std::make_unique<site::THornRegistry>(
        Entries(horns), ro,
        [this](std::vector<site::THornEvent> events) { front_->OnEvents(std::move(events)); });

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
    mqtt_ = std::make_unique<TMqttClient>(
        o,
        [this] {
            registry_->Visit([this](const std::vector<site::THornView>& views) {
                mqtt_->Replace(front_->Republish(views));
            });
        },
        [this](const std::string& topic, std::string_view payload, bool retained) {
            const auto horn = front_->Received(*registry_, topic, payload, retained);
            if (horn && runner_) runner_->WakeCommands(*horn);
        },
        log_);
}

TBridge::~TBridge() {
    Stop();
}

bool TBridge::Start(std::string& error) {
    if (started_) return true;
    runner_ = std::make_unique<site::THornRunner>(
        sessions_.Count(), config_.Parallel,
        site::THornRunner::THandlers{[this](std::size_t h) { RunCommands(h); },
                                     [this](std::size_t h) { Poll(h); }});
    if (!mqtt_->Start(error)) {
        runner_.reset();
        return false;
    }
    started_ = true;
    log_("bridging " + std::to_string(sessions_.Count()) + " horn(s), polled every " +
         std::to_string(config_.PollPeriodMs) + " ms, under " + config_.BaseTopic + "/");
    runner_->StartPolling(std::chrono::milliseconds(config_.PollPeriodMs));
    return true;
}

void TBridge::Stop() {
    if (!started_ || stopped_) return;
    stopped_ = true;
    // Waiting commands end now, cancelled, also one that waits for another program's transfer
    // to its horn; only what is on the wire is finished.
    stopping_ = true;
    registry_->Close();
    runner_->Stop();
    const bool connected = mqtt_->Connected();
    front_->Farewell(registry_->Snapshot());
    if (!mqtt_->Flush(std::chrono::seconds(3)) && connected)
        log_("the broker did not confirm the offline messages before the disconnection");
    mqtt_->Stop();
}

void TBridge::Poll(std::size_t horn) {
    TDeviceSession& s = sessions_.Session(horn);
    // A horn that another program on this PC holds for a transfer is skipped, not waited for,
    // and the skip is no missed poll.
    TPollScope polling(s);
    if (registry_->WantsInfo(horn))
        registry_->PolledInfo(horn, ReadInfo(s));
    else
        registry_->PolledStatus(horn, ReadStatus(s));
    runner_->SetSlow(horn, registry_->Slow(horn));
}

void TBridge::RunCommands(std::size_t horn) {
    TDeviceSession& s = sessions_.Session(horn);
    while (const auto c = registry_->NextCommand(horn)) {
        switch (c->Kind) {
            case site::TCommandKind::Relay: {
                const TRelayReading r = SwitchRelay(s, c->On ? 1 : 0, c->SendTone);
                registry_->RelayDone(horn, *c, r);
                // The request may have switched the relay although its answer was lost: ask.
                if (r.Outcome.Kind == TOutcomeKind::NoReply ||
                    r.Outcome.Kind == TOutcomeKind::SocketError) {
                    const TStatusReading status = ReadStatus(s);
                    if (status.Outcome.Ok()) registry_->PolledStatus(horn, status);
                }
                break;
            }
            case site::TCommandKind::FindMe:
                registry_->CommandDone(horn, *c, FindMe(s));
                break;
            case site::TCommandKind::Reboot:
                registry_->CommandDone(horn, *c, RequestReset(s));
                break;
        }
    }
    runner_->SetSlow(horn, registry_->Slow(horn));
}

}  // namespace kstbell::bridge
