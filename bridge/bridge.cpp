#include "bridge/bridge.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>

#include "device/relay_output.h"
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

cli::TEngineOptions EngineOptions(const TBridgeConfig& config) {
    cli::TEngineOptions o;
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
      engine_(Addresses(horns), EngineOptions(config), *network_),
      sessionLocks_(std::make_unique<std::mutex[]>(horns.size())) {
    TTopics topics(config.BaseTopic, config.DiscoveryPrefix);
    // Everything the table publishes passes the discovery migration on its way to the broker.
    const auto publish = [this](std::vector<TMessage> m) { mqtt_->Publish(std::move(m)); };
    migration_ = std::make_unique<TDiscoveryMigration>(topics, log_);
    table_ = std::make_unique<THornTable>(
        topics, horns, config.InfoEveryPolls,
        [this, publish](std::vector<TMessage> m) { migration_->Outgoing(std::move(m), publish); },
        log_);

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
            table_->Republish([this](std::vector<TMessage> m) {
                migration_->Outgoing(std::move(m), [this](std::vector<TMessage> r) {
                    mqtt_->Replace(std::move(r));
                });
            });
            mqtt_->Publish({marker});
        },
        [this, publish](const std::string& topic, std::string_view payload, bool retained) {
            if (migration_->Received(topic, payload, publish)) return;
            if (!table_->Received(topic, payload, retained)) return;
            const std::lock_guard lock(wakeMutex_);
            commandsWaiting_ = true;
            commandWake_.notify_one();
        },
        log_);
}

TBridge::~TBridge() {
    Stop();
}

bool TBridge::Start(std::string& error) {
    if (started_) return true;
    if (!mqtt_->Start(error)) return false;
    started_ = true;
    log_("bridging " + std::to_string(table_->Count()) + " horn(s), polled every " +
         std::to_string(config_.PollPeriodMs) + " ms, under " + config_.BaseTopic + "/");
    pollThread_ = std::thread([this] { PollLoop(); });
    commandThread_ = std::thread([this] { CommandLoop(); });
    return true;
}

void TBridge::Stop() {
    if (!started_ || stopped_) return;
    stopped_ = true;
    {
        const std::lock_guard lock(wakeMutex_);
        stopping_ = true;
        pollWake_.notify_all();
        commandWake_.notify_all();
    }
    pollThread_.join();
    commandThread_.join();
    const bool connected = mqtt_->Connected();
    table_->Farewell();
    if (!mqtt_->Flush(std::chrono::seconds(3)) && connected)
        log_("the broker did not confirm the offline messages before the disconnection");
    mqtt_->Stop();
}

void TBridge::PollLoop() {
    // The period is the longest a horn's change may wait to show. A horn is read at about the
    // same place in every sweep, so the next sweep starts early by the length of the last one
    // and a margin for the publication: then no horn waits longer than a period between reads.
    const auto period = std::chrono::milliseconds(config_.PollPeriodMs);
    const auto margin =
        std::min<std::chrono::steady_clock::duration>(period / 10, std::chrono::milliseconds(200));
    std::unique_lock lock(wakeMutex_);
    while (!stopping_) {
        const auto start = std::chrono::steady_clock::now();
        lock.unlock();
        engine_.ForEach([this](std::size_t i) { PollOne(i); });
        lock.lock();
        const auto took = std::chrono::steady_clock::now() - start;
        // A sweep longer than half a period is followed at once.
        const auto next = start + std::max<std::chrono::steady_clock::duration>(
                                      period - took - margin, period / 2);
        pollWake_.wait_until(lock, next, [this] { return stopping_; });
    }
}

void TBridge::PollOne(std::size_t horn) {
    {
        const std::lock_guard lock(wakeMutex_);
        if (stopping_) return;
    }
    const std::lock_guard session(sessionLocks_[horn]);
    TDeviceSession& s = engine_.Session(horn);
    if (table_->WantsInfo(horn)) {
        const TOutcome o = RequestDeviceInfo(s);
        table_->PolledInfo(horn, o, s.LastReport, s.Flags.SupportedModel);
    } else {
        const TOutcome o = RequestStatus(s);
        table_->PolledStatus(horn, o, s.LastStatus);
    }
}

void TBridge::CommandLoop() {
    std::unique_lock lock(wakeMutex_);
    for (;;) {
        commandWake_.wait(lock, [this] { return stopping_ || commandsWaiting_; });
        if (stopping_) return;
        commandsWaiting_ = false;
        lock.unlock();
        const auto horns = table_->TakeWaiting();
        if (!horns.empty()) engine_.ForEach(horns, [this](std::size_t i) { RunCommands(i); });
        lock.lock();
    }
}

void TBridge::RunCommands(std::size_t horn) {
    const std::lock_guard session(sessionLocks_[horn]);
    TDeviceSession& s = engine_.Session(horn);
    while (const auto c = table_->NextCommand(horn)) {
        TOutcome o;
        switch (c->Kind) {
            case TCommandTopic::SirenSet:
                o = SetRelayOutput(s, 1, c->On ? 1 : 0, c->SendTone);
                break;
            case TCommandTopic::FindMe:
                o = FindMe(s);
                break;
            case TCommandTopic::Reboot:
                o = RequestReset(s);
                break;
        }
        table_->CommandDone(horn, *c, o);
        // The request may have switched the relay although its answer was lost: ask.
        if (c->Kind == TCommandTopic::SirenSet &&
            (o.Kind == TOutcomeKind::NoReply || o.Kind == TOutcomeKind::SocketError)) {
            const TOutcome status = RequestStatus(s);
            if (status.Ok()) table_->PolledStatus(horn, status, s.LastStatus);
        }
    }
}

}  // namespace kstbell::bridge
