#include "mqtt/horn_front.h"

#include <chrono>
#include <utility>

#include "mqtt/command_payload.h"
#include "protocol/text.h"

namespace kstbell::mqtt {

namespace {

using site::TCommandKind;
using TKind = site::THornEvent::TKind;

TCommandTopic TopicOf(TCommandKind kind) {
    switch (kind) {
        case TCommandKind::Relay:
            return TCommandTopic::SirenSet;
        case TCommandKind::FindMe:
            return TCommandTopic::FindMe;
        case TCommandKind::Reboot:
            return TCommandTopic::Reboot;
    }
    return TCommandTopic::FindMe;
}

TCommandKind KindOf(TCommandTopic topic) {
    switch (topic) {
        case TCommandTopic::SirenSet:
            return TCommandKind::Relay;
        case TCommandTopic::FindMe:
            return TCommandKind::FindMe;
        case TCommandTopic::Reboot:
            return TCommandKind::Reboot;
    }
    return TCommandKind::FindMe;
}

TOutcome Invalid(std::string why) {
    TOutcome o{TOutcomeKind::InvalidInput};
    o.Message = std::move(why);
    return o;
}

}  // namespace

TMqttFront::TMqttFront(const std::vector<THornEntry>& horns, TTopics topics, TSink sink, TLog log,
                       TFrontOptions options)
    : topics_(std::move(topics)),
      sink_(std::move(sink)),
      log_(std::move(log)),
      options_(std::move(options)),
      lastState_(horns.size()),
      names_(horns.size()) {
    for (const auto& h : horns)
        inputClass_.push_back(h.InputClass);
}

THornIdentity TMqttFront::Identity(const site::THornView& view) const {
    const auto& id = *view.Identity;
    return {HornId(id.Mac),
            id.Mac,
            id.Location,
            FirmwareVersionText(id.FirmwareMajor, id.FirmwareMinor),
            view.Address,
            view.Name,
            inputClass_.at(view.Index)};
}

THornState TMqttFront::State(const site::THornView& view) const {
    return {view.State.Output, view.State.Input, view.State.Armed, view.State.Tone,
            view.State.RssiDbm};
}

void TMqttFront::Discovery(std::size_t horn, std::vector<TMessage>& out) const {
    const auto& identity = names_.Identity(horn);
    if (!identity) return;
    const THornDevice device{names_.Name(horn), options_.ViaDevice, options_.ConfigurationUrl};
    for (auto& m : DiscoveryMessages(topics_, *identity, options_.Program, device))
        out.push_back(std::move(m));
}

void TMqttFront::Rename(std::size_t horn, std::optional<THornIdentity> identity, bool always,
                        std::vector<TMessage>& out) {
    bool self = always;
    for (const std::size_t h : names_.Set(horn, std::move(identity))) {
        if (h == horn)
            self = true;
        else
            Discovery(h, out);
    }
    if (self) Discovery(horn, out);
}

void TMqttFront::PublishState(const site::THornView& view, std::vector<TMessage>& out) {
    if (!view.Identity) return;
    const THornIdentity identity = Identity(view);
    std::string state = StateJson(identity, State(view));
    std::string& last = lastState_.at(view.Index);
    if (state == last) return;
    last = state;
    out.push_back({topics_.State(identity.Id), std::move(state)});
}

void TMqttFront::Translate(const site::THornEvent& e, std::vector<TMessage>& out) {
    const site::THornView& v = e.View;
    // A name given while the horn runs: its device (and any that shares the name) is renamed.
    if (e.Kind != TKind::Identified && v.Identity && v.Index < inputClass_.size()) {
        const auto& known = names_.Identity(v.Index);
        if (known && known->Name != v.Name) Rename(v.Index, Identity(v), true, out);
    }
    switch (e.Kind) {
        case TKind::Identified: {
            const THornIdentity identity = Identity(v);
            if (e.View.Identity) log_("horn " + identity.Id + " identified at " + v.Address);
            Rename(v.Index, identity, true, out);
            PublishState(v, out);
            break;
        }
        case TKind::Replaced: {
            const std::string before = HornId(e.Previous->Mac);
            log_("horn " + before + " at " + v.Address + " was replaced by another horn");
            out.push_back({topics_.Availability(before), kOffline});
            lastState_.at(v.Index).clear();
            Rename(v.Index, std::nullopt, false, out);
            break;
        }
        case TKind::Unsupported:
            log_("the device at " + v.Address + " is model " + std::to_string(e.Model) +
                 ", not a supported horn; not bridged");
            break;
        case TKind::DuplicateMac:
            log_("the horn at " + v.Address + " reports MAC " + MacText(e.Previous->Mac) +
                 ", already bridged at " + e.OtherAddress + "; ignored");
            break;
        case TKind::Online:
            log_("horn " + HornId(v.Identity->Mac) + " at " + v.Address + " is online");
            out.push_back({topics_.Availability(HornId(v.Identity->Mac)), kOnline});
            break;
        case TKind::Offline:
            log_("horn " + HornId(v.Identity->Mac) + " at " + v.Address + " is offline");
            out.push_back({topics_.Availability(HornId(v.Identity->Mac)), kOffline});
            break;
        case TKind::StateChanged:
            PublishState(v, out);
            break;
        case TKind::CommandDone: {
            const std::string& tag = e.Command.Tag;
            const std::string& mark = options_.TagMark;
            if (!v.Identity || e.Command.Cause != site::TCause::Mqtt ||
                tag.compare(0, mark.size(), mark) != 0)
                break;
            out.push_back({topics_.Result(HornId(v.Identity->Mac)),
                           ResultJson(TopicOf(e.Command.Kind), e.Outcome, tag.substr(mark.size()),
                                      TakeClamped(e.Command)),
                           false});
            break;
        }
    }
}

void TMqttFront::OnEvents(const std::vector<site::THornEvent>& events) {
    if (closed_ || events.empty()) return;
    std::vector<TMessage> out;
    for (const auto& e : events)
        Translate(e, out);
    if (!out.empty()) sink_(std::move(out));
}

void TMqttFront::NoteRing(const site::TRingStart& start) {
    // Many more than could be waiting for their first switch: a bound, not a limit.
    constexpr std::size_t kMaxNoted = 1024;
    const site::TRingOrder& order = start.Record.Order;
    if (!start.Clamped || start.Taken.empty() || order.Cause != site::TCause::Mqtt ||
        order.Tag.compare(0, options_.TagMark.size(), options_.TagMark) != 0)
        return;
    const auto length =
        std::chrono::round<std::chrono::seconds>(start.Record.End - start.Record.Start);
    const std::lock_guard lock(clampedMutex_);
    clamped_[start.Record.Id] = length.count();
    if (clamped_.size() > kMaxNoted) clamped_.erase(clamped_.begin());
}

std::optional<std::int64_t> TMqttFront::TakeClamped(const site::TCommand& command) {
    if (command.Ring == 0 || !command.On) return std::nullopt;
    const std::lock_guard lock(clampedMutex_);
    const auto found = clamped_.find(command.Ring);
    if (found == clamped_.end()) return std::nullopt;
    const std::int64_t length = found->second;
    clamped_.erase(found);
    return length;
}

std::optional<THornRequest> TMqttFront::Received(site::THornRegistry& registry,
                                                 const std::string& topic, std::string_view payload,
                                                 bool retained) {
    const auto address = topics_.ParseCommand(topic);
    // An empty retained message removes a retained command from the broker: nothing to do.
    if (!address || (retained && payload.empty())) return std::nullopt;
    const auto mac = ParseHornId(address->Id);
    if (!mac) return std::nullopt;
    const auto horn = registry.FindByMac(*mac);
    if (!horn) return std::nullopt;
    THornRequest out;
    out.Horn = *horn;
    site::TCommand& command = out.Command;
    command.Kind = KindOf(address->Command);
    command.Cause = site::TCause::Mqtt;
    std::string error;
    std::string id;
    bool read = false;
    if (address->Command == TCommandTopic::SirenSet) {
        TSirenRequest request;
        read = ParseSirenPayload(payload, request, error, options_.Program.SirenDuration);
        command.On = request.On;
        command.Tone = request.Tone;
        id = request.Id;
        if (request.On && request.DurationS)
            out.Duration = std::chrono::seconds(*request.DurationS);
    } else {
        read = ParsePressPayload(payload, id, error);
    }
    command.Tag = options_.TagMark + id;
    // A retained command would sound the horn again on every reconnection.
    if (retained) {
        registry.Reject(*horn, command, Invalid("retained commands are not carried out"));
        return std::nullopt;
    }
    if (!read) {
        registry.Reject(*horn, command, Invalid(error));
        return std::nullopt;
    }
    return out;
}

std::vector<TMessage> TMqttFront::Republish(const std::vector<site::THornView>& horns) {
    std::vector<TMessage> out{{topics_.ProgramAvailability(), kOnline}};
    // The names afresh from every horn at once; the discovery below carries them.
    names_ = THornNames(inputClass_.size());
    for (const auto& v : horns)
        if (v.Identity && v.Index < inputClass_.size()) names_.Set(v.Index, Identity(v));
    for (const auto& v : horns) {
        if (!v.Identity) continue;
        const THornIdentity identity = Identity(v);
        Discovery(v.Index, out);
        out.push_back({topics_.Availability(identity.Id),
                       v.Presence == TPresence::Online ? kOnline : kOffline});
        out.push_back({topics_.State(identity.Id), StateJson(identity, State(v))});
    }
    return out;
}

void TMqttFront::Farewell(const std::vector<site::THornView>& horns) {
    if (closed_) return;
    std::vector<TMessage> out;
    for (const auto& v : horns)
        if (v.Identity) out.push_back({topics_.Availability(HornId(v.Identity->Mac)), kOffline});
    out.push_back({topics_.ProgramAvailability(), kOffline});
    closed_ = true;
    sink_(std::move(out));
}

}  // namespace kstbell::mqtt
