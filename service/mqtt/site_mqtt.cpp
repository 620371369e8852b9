#include "service/mqtt/site_mqtt.h"

#include <algorithm>
#include <chrono>
#include <iterator>

namespace kstbell::service {

namespace {

using site::TCause;

// Put before the id of the horn commands this front makes, so that results are published for
// those only: the switches of a group's ring or an alarm that came through MQTT have the same
// cause, and answer on the site's result topic instead.
constexpr const char* kHornTag = "h";

// How long the carrier lets commands gather after a batch it carried out.
constexpr std::chrono::milliseconds kGather{50};

TOutcome Withheld(TOutcomeKind kind, std::string message) {
    TOutcome o{kind};
    o.Message = std::move(message);
    return o;
}

TSiteOutcome Failed(std::string error, std::string message) {
    TSiteOutcome o;
    o.Ok = false;
    o.Error = std::move(error);
    o.Message = std::move(message);
    return o;
}

std::int64_t Seconds(const site::TRingRecord& r) {
    return std::chrono::round<std::chrono::seconds>(r.End - r.Start).count();
}

}  // namespace

void TSiteMqtt::SwitchOutcome(const site::TRingSwitches& switches, TSiteOutcome& o) const {
    if (switches.Ring == 0) return;  // the control told nothing of it
    o.SwitchedOn = switches.Count(site::TSwitchOn::On);
    o.Pending = switches.Count(site::TSwitchOn::Pending);
    std::string common;  // the reason every horn not switched on gave, if one
    for (const auto& h : switches.Horns) {
        if (h.State == site::TSwitchOn::On || h.State == site::TSwitchOn::Pending) continue;
        const std::string reason =
            h.State == site::TSwitchOn::Offline ? "offline" : OutcomeKindName(h.Outcome.Kind);
        common = o.NotSwitchedOn.empty() || common == reason ? reason : "unreachable";
        o.NotSwitchedOn.emplace_back(site_.Registry().Address(h.Horn), reason);
    }
    if (!switches.NoneOn()) return;
    // Every horn answered, none switched on: the service ended the ring.
    o.Ok = false;
    o.Error = common;
    o.Message = "no horn was switched on; the ring was ended";
}

TSiteMqtt::TSiteMqtt(const mqtt::TBridgeConfig& config, const std::vector<mqtt::THornEntry>& horns,
                     std::string password, site::TSite& site, site::ISiteControl& control,
                     TSiteMqttInfo info, mqtt::TLog log)
    : site_(site), control_(control), log_(std::move(log)) {
    const mqtt::TTopics topics(config.BaseTopic, config.DiscoveryPrefix,
                               mqtt::kServiceProgram.Level);
    std::vector<std::vector<std::size_t>> groupHorns;
    for (const auto& g : info.Groups)
        groupHorns.push_back(control_.GroupHorns(g).value_or(std::vector<std::size_t>{}));
    groupNames_ = info.Groups;
    groupHorns_ = groupHorns;
    summary_ = "serving the site" + (info.SiteName.empty() ? "" : " '" + info.SiteName + "'") +
               " over MQTT under " + config.BaseTopic + "/: " + std::to_string(horns.size()) +
               " horn(s), " + std::to_string(info.Groups.size()) + " group(s), " +
               std::to_string(info.Alarms.size()) + " alarm(s), rings up to " +
               std::to_string(std::chrono::round<std::chrono::seconds>(info.MaxRing).count()) +
               " s";
    mqtt::TFrontOptions options{mqtt::kServiceProgram, kHornTag, SiteObjectId(config.BaseTopic),
                                info.ConfigurationUrl};
    front_ = std::make_unique<TSiteFront>(
        topics, mqtt::kServiceProgram, std::move(info), groupHorns, site_.Count(),
        [this](std::vector<mqtt::TMessage> m) { link_->Publish(std::move(m)); }, log_);

    mqtt::TBrokerLink::THooks hooks;
    hooks.Commands = front_->Topics().CommandSubscriptions();
    hooks.HornCommand = [this](const mqtt::THornRequest& r) { Enqueue({std::nullopt, r}); };
    hooks.Received = [this](const std::string& topic, std::string_view payload, bool retained) {
        SiteMessage(topic, payload, retained);
    };
    hooks.Connected = [this] {
        // What the site had before this front heard of it counts too: horns that sounded and
        // rings it took up after a restart.
        site_.Registry().Visit(
            [this](const std::vector<site::THornView>& views) { front_->SyncHorns(views); });
        front_->Seed(site_.ActiveRings());
        front_->Republish();
    };
    hooks.Leading = [this] { return std::vector<mqtt::TMessage>{front_->Discovery()}; };
    link_ =
        std::make_unique<mqtt::TBrokerLink>(config, horns, std::move(password), std::move(options),
                                            site_.Registry(), std::move(hooks), log_);
}

TSiteMqtt::~TSiteMqtt() {
    Stop();
}

bool TSiteMqtt::Start(std::string& error) {
    if (!carrier_.joinable()) carrier_ = std::thread([this] { RunCarrier(); });
    if (!link_->Start(error)) return false;
    log_(summary_);
    return true;
}

void TSiteMqtt::Stop() {
    // The batch being carried out is finished and answered; what is still queued is dropped.
    StopCarrier();
    front_->Close();
    link_->Stop();
}

void TSiteMqtt::StopCarrier() {
    {
        const std::lock_guard lock(queueMutex_);
        stopCarrier_ = true;
        queue_.clear();
        stopsQueued_ = 0;
    }
    queueWake_.notify_all();
    if (carrier_.joinable()) carrier_.join();
}

void TSiteMqtt::Enqueue(TQueuedCommand command) {
    {
        const std::lock_guard lock(queueMutex_);
        if (stopCarrier_) return;
        if (IsStop(command)) ++stopsQueued_;
        urgentQueued_ = urgentQueued_ || IsUrgentStop(command);
        queue_.push_back(std::move(command));
    }
    queueWake_.notify_all();
}

void TSiteMqtt::RunCarrier() {
    // Only the first look at a batch gives way to stops, so that a stream of stops cannot hold
    // rings back for ever: the batch planned again with them is carried out whole.
    bool givesWay = true;
    for (;;) {
        std::vector<TQueuedCommand> batch;
        {
            std::unique_lock lock(queueMutex_);
            queueWake_.wait(lock, [this] { return stopCarrier_ || !queue_.empty(); });
            if (stopCarrier_) return;
            batch.assign(std::make_move_iterator(queue_.begin()),
                         std::make_move_iterator(queue_.end()));
            queue_.clear();
            stopsQueued_ = 0;
            urgentQueued_ = false;
        }
        const std::vector<bool> superseded = Superseded(batch, groupNames_, groupHorns_);
        std::vector<mqtt::TMessage> results;
        std::size_t i = 0;
        for (; i < batch.size(); ++i) {
            TQueuedCommand& c = batch[i];
            if (givesWay && !superseded[i] && IsRing(c)) {
                const std::lock_guard lock(queueMutex_);
                if (stopsQueued_ > 0) break;
            }
            if (c.Horn && superseded[i]) {
                site_.Registry().Reject(
                    c.Horn->Horn, c.Horn->Command,
                    Withheld(TOutcomeKind::Cancelled, "superseded by a newer command"));
                continue;
            }
            if (c.Horn) {
                HornCommand(*c.Horn);
                continue;
            }
            TSiteOutcome outcome;
            if (superseded[i])
                outcome.Superseded = true;
            else if (c.Site->Error.empty())
                outcome = Carry(*c.Site);
            results.push_back(front_->Result(*c.Site, outcome));
        }
        link_->Publish(std::move(results));
        givesWay = i == batch.size();
        if (givesWay) {
            // Under a burst, what comes next gathers a moment so that commands for the same
            // group fold into one: a command after a quiet spell is carried out at once, one
            // that follows a carried batch within kGather waits at most that long, and Stop
            // all or an alarm's OFF ends the wait.
            const bool carried =
                std::any_of(batch.begin(), batch.end(), [](const TQueuedCommand& q) {
                    return q.Horn || (q.Site && q.Site->Error.empty());
                });
            if (!carried) continue;
            std::unique_lock lock(queueMutex_);
            queueWake_.wait_for(lock, kGather, [this] { return stopCarrier_ || urgentQueued_; });
            continue;
        }
        // A stop came: the rest goes back before it and is planned again with it.
        const std::lock_guard lock(queueMutex_);
        if (stopCarrier_) return;
        for (std::size_t k = batch.size(); k-- > i;) {
            if (IsStop(batch[k])) ++stopsQueued_;
            urgentQueued_ = urgentQueued_ || IsUrgentStop(batch[k]);
            queue_.push_front(std::move(batch[k]));
        }
    }
}

void TSiteMqtt::OnHornEvents(const std::vector<site::THornEvent>& events) {
    link_->OnHornEvents(events);
    front_->OnHornEvents(events);
}

void TSiteMqtt::OnRingStarted(const site::TRingStart& start) {
    link_->Front().NoteRing(start);
    front_->OnRingStarted(start);
}

void TSiteMqtt::OnRingEnded(const site::TRingEnd& end, site::TCause, site::TInstant) {
    front_->OnRingEnded(end);
}

void TSiteMqtt::HornCommand(const mqtt::THornRequest& r) {
    const site::TCommand& c = r.Command;
    if (c.Kind != site::TCommandKind::Relay) {
        site_.Submit(r.Horn, c);
        return;
    }
    if (!c.On) {
        // Its result comes with the switch off, which is never refused.
        control_.StopHorn(r.Horn, TCause::Mqtt, {}, c.Tag);
        return;
    }
    site::TRingRequest request;
    request.Horns = {r.Horn};
    request.Tone = c.Tone.value_or(site_.Registry().View(r.Horn).State.Tone);
    request.Duration = r.Duration;
    request.Cause = TCause::Mqtt;
    request.Tag = c.Tag;
    const site::TRingAnswer answer = control_.Ring(request);
    // A ring that switches the horn answers with its switch; one that does not, here, in its
    // place among the horn's results.
    if (!answer.Started) {
        site_.Registry().Reject(r.Horn, c,
                                Withheld(TOutcomeKind::Cancelled,
                                         "the service did not start the ring: " + answer.Refusal));
    } else if (answer.Start.Taken.empty()) {
        site_.Registry().Reject(
            r.Horn, c,
            Withheld(TOutcomeKind::Busy,
                     "a ring of higher priority, or one that ends later, holds the horn"));
    }
}

TSiteOutcome TSiteMqtt::Carry(const TSiteCommand& c) {
    const std::string& name = c.Address.Name;
    switch (c.Address.Kind) {
        case TSiteCommandKind::GroupSiren: {
            if (!c.On) {
                if (!control_.StopGroup(name, TCause::Mqtt, {}))
                    return Failed("invalid_input", "the service knows no group '" + name + "'");
                return {};
            }
            site::TRingRequest request;
            request.Group = name;
            request.Tone = c.Tone.value_or(0);
            request.Duration = c.Duration;
            request.Cause = TCause::Mqtt;
            const site::TRingAnswer answer = control_.Ring(request);
            if (!answer.Started)
                return Failed("cancelled", "the service did not start the ring: " + answer.Refusal);
            TSiteOutcome o;
            o.Horns = answer.Start.Taken.size();
            o.Held = answer.Start.HeldByOthers.size();
            o.DurationS = Seconds(answer.Start.Record);
            o.Clamped = answer.Start.Clamped;
            SwitchOutcome(answer.Switches, o);
            return o;
        }
        case TSiteCommandKind::AlarmStart:
        case TSiteCommandKind::AlarmSwitch: {
            if (!c.On) {
                TSiteOutcome o;
                o.Stopped = control_.StopAlarm(name, TCause::Mqtt, {});
                return o;
            }
            const site::TAlarmAnswer answer = control_.StartAlarm(name, TCause::Mqtt, {});
            if (!answer.Ok)
                return Failed("cancelled",
                              "the service did not start the alarm: " + answer.Refusal);
            return {};
        }
        case TSiteCommandKind::StopAll:
            control_.StopAll(TCause::Mqtt, {});
            return {};
    }
    return {};
}

void TSiteMqtt::SiteMessage(const std::string& topic, std::string_view payload, bool retained) {
    auto command = front_->Parse(topic, payload, retained);
    if (command) Enqueue({std::move(*command), std::nullopt});
}

}  // namespace kstbell::service
