#include "mqtt/broker_link.h"

#include <unistd.h>

#include <algorithm>
#include <array>

namespace kstbell::mqtt {

std::string DefaultClientId(const std::string& program, const std::string& base) {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) != 0 || host[0] == '\0')
        host = {'h', 'o', 's', 't'};
    std::string id = program + "-" + std::string(host.data()) + "-" + base;
    std::replace(id.begin(), id.end(), '/', '-');
    return id;
}

TBrokerLink::TBrokerLink(const TBridgeConfig& config, const std::vector<THornEntry>& horns,
                         std::string password, TFrontOptions options, site::THornRegistry& registry,
                         THooks hooks, TLog log)
    : topics_(config.BaseTopic, config.DiscoveryPrefix, options.Program.Level),
      log_(std::move(log)),
      registry_(registry),
      hooks_(std::move(hooks)) {
    const TProgram program = options.Program;
    std::vector<std::string> others;
    for (const TProgram* other : {&kBridgeProgram, &kServiceProgram})
        if (other->Level != program.Level)
            others.push_back(TTopics(config.BaseTopic, config.DiscoveryPrefix, other->Level)
                                 .ProgramAvailability());
    migration_ = std::make_unique<TDiscoveryMigration>(topics_, log_, std::move(others));
    // Everything the front publishes passes the discovery migration on its way to the broker.
    front_ = std::make_unique<TMqttFront>(
        horns, topics_, [this](std::vector<TMessage> m) { Publish(std::move(m)); }, log_,
        std::move(options));

    TMqttOptions o;
    std::string ignored;
    ParseBrokerUrl(config.BrokerUrl, o.Url, ignored);
    o.ClientId =
        config.ClientId.empty() ? DefaultClientId(program.Name, config.BaseTopic) : config.ClientId;
    o.Username = config.Username;
    o.Password = std::move(password);
    o.CaFile = config.CaFile;
    o.CertFile = config.CertFile;
    o.KeyFile = config.KeyFile;
    o.KeepAliveSeconds = config.KeepAliveSeconds;
    o.Will = {topics_.ProgramAvailability(), kOffline, true};
    const auto subscriptions = topics_.CommandSubscriptions();
    o.Subscriptions.assign(subscriptions.begin(), subscriptions.end());
    for (const auto& s : hooks_.Commands)
        o.Subscriptions.push_back(s);
    o.RemoveRetained = o.Subscriptions;
    for (auto& s : migration_->Subscriptions())
        o.Subscriptions.push_back(std::move(s));
    mqtt_ = std::make_unique<TMqttClient>(
        o, [this] { OnConnected(); },
        [this](const std::string& topic, std::string_view payload, bool retained) {
            OnMessage(topic, payload, retained);
        },
        log_);
}

TBrokerLink::~TBrokerLink() {
    Stop();
}

void TBrokerLink::Publish(std::vector<TMessage> messages) {
    migration_->Outgoing(std::move(messages),
                         [this](std::vector<TMessage> m) { mqtt_->Publish(std::move(m)); });
}

void TBrokerLink::OnConnected() {
    const TMessage marker = migration_->Connected();
    // The horns' whole state replaces whatever is still queued from before the connection; no
    // event comes between the snapshot and the replacement.
    std::vector<TMessage> leading = hooks_.Leading ? hooks_.Leading() : std::vector<TMessage>{};
    registry_.Visit([&](const std::vector<site::THornView>& views) {
        std::vector<TMessage> all = std::move(leading);
        for (auto& m : front_->Republish(views))
            all.push_back(std::move(m));
        migration_->Outgoing(std::move(all),
                             [this](std::vector<TMessage> m) { mqtt_->Replace(std::move(m)); });
    });
    mqtt_->Publish({marker});
    if (hooks_.Connected) hooks_.Connected();
}

void TBrokerLink::OnMessage(const std::string& topic, std::string_view payload, bool retained) {
    if (migration_->Received(
            topic, payload, [this](std::vector<TMessage> m) { mqtt_->Publish(std::move(m)); },
            retained))
        return;
    if (topics_.ParseCommand(topic)) {
        if (const auto request = front_->Received(registry_, topic, payload, retained))
            if (hooks_.HornCommand) hooks_.HornCommand(*request);
        return;
    }
    if (hooks_.Received) hooks_.Received(topic, payload, retained);
}

void TBrokerLink::OnHornEvents(const std::vector<site::THornEvent>& events) {
    front_->OnEvents(events);
}

bool TBrokerLink::Start(std::string& error) {
    if (started_) return true;
    if (!mqtt_->Start(error)) return false;
    started_ = true;
    return true;
}

void TBrokerLink::Stop() {
    if (!started_ || stopped_) return;
    stopped_ = true;
    const bool connected = mqtt_->Connected();
    // Under the registry's lock, as the front's events are: none is translated after it.
    registry_.Visit([this](const std::vector<site::THornView>& views) { front_->Farewell(views); });
    if (!mqtt_->Flush(kFarewellWait) && connected)
        log_("the broker did not confirm the offline messages before the disconnection");
    mqtt_->Stop();
}

}  // namespace kstbell::mqtt
