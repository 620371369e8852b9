#include "bridge/horn_table.h"

#include "cli/outcome_kind.h"
#include "protocol/text.h"

namespace kstbell::bridge {

namespace {

bool IsAnswer(const TOutcome& outcome) {
    return outcome.Kind == TOutcomeKind::Done || outcome.Kind == TOutcomeKind::Refused;
}

TOutcome Invalid(std::string why) {
    TOutcome o{TOutcomeKind::InvalidInput};
    o.Message = std::move(why);
    return o;
}

}  // namespace

THornTable::THornTable(TTopics topics, const std::vector<THornEntry>& horns, int infoEveryPolls,
                       TSink sink, TLog log)
    : topics_(std::move(topics)),
      infoEvery_(infoEveryPolls),
      sink_(std::move(sink)),
      log_(std::move(log)) {
    horns_.resize(horns.size());
    for (std::size_t i = 0; i < horns.size(); ++i) {
        horns_[i].Address = horns[i].Address;
        horns_[i].Name = horns[i].Name;
        horns_[i].InputClass = horns[i].InputClass;
    }
}

bool THornTable::WantsInfo(std::size_t horn) const {
    const std::lock_guard lock(m_);
    const THorn& h = horns_.at(horn);
    return h.NeedInfo || !h.Identity || h.PollsSinceInfo >= infoEvery_;
}

TMessage THornTable::Result(const THorn& h, TCommandTopic command, const TOutcome& outcome) const {
    return {topics_.Result(h.Identity->Id), ResultJson(command, outcome), false};
}

void THornTable::PublishState(THorn& h, std::vector<TMessage>& out) {
    if (!h.Identity) return;
    std::string state = StateJson(*h.Identity, h.State);
    if (state == h.LastState) return;
    h.LastState = state;
    out.push_back({topics_.State(h.Identity->Id), std::move(state)});
}

void THornTable::FailQueued(THorn& h, std::vector<TMessage>& out) {
    TOutcome unreachable{TOutcomeKind::Unreachable};
    unreachable.Message = "the horn is offline";
    for (const auto& c : h.Queue)
        out.push_back(Result(h, c.Kind, unreachable));
    h.Queue.clear();
}

void THornTable::Missed(THorn& h, std::vector<TMessage>& out) {
    if (h.Missed < kMissesOffline) ++h.Missed;
    if (h.Missed < kMissesOffline || !h.Online) return;
    h.Online = false;
    h.NeedInfo = true;  // it may come back as another horn, or with other firmware
    if (!h.Identity) return;
    log_("horn " + h.Identity->Id + " at " + h.Address + " is offline");
    out.push_back({topics_.Availability(h.Identity->Id), kOffline});
    FailQueued(h, out);
}

void THornTable::Answered(THorn& h, std::vector<TMessage>& out) {
    h.Missed = 0;
    ++h.PollsSinceInfo;
    if (h.Online || !h.Identity) return;
    h.Online = true;
    log_("horn " + h.Identity->Id + " at " + h.Address + " is online");
    out.push_back({topics_.Availability(h.Identity->Id), kOnline});
}

void THornTable::Identify(std::size_t index, const TDeviceInfo& report,
                          std::vector<TMessage>& out) {
    THorn& h = horns_[index];
    THornIdentity identity{
        HornId(report.Mac), report.Mac,
        report.Location,    FirmwareVersionText(report.FirmwareMajor, report.FirmwareMinor),
        h.Address,          h.Name,
        h.InputClass};
    const auto owner = byId_.find(identity.Id);
    if (owner != byId_.end() && owner->second != index) {
        if (!h.Warned)
            log_("the horn at " + h.Address + " reports MAC " + MacText(report.Mac) +
                 ", already bridged at " + horns_[owner->second].Address + "; ignored");
        h.Warned = true;
        return;
    }
    if (h.Identity && h.Identity->Id != identity.Id) {
        // Another horn answers at this address now: the one before is gone from here.
        log_("horn " + h.Identity->Id + " at " + h.Address + " was replaced by " + identity.Id);
        out.push_back({topics_.Availability(h.Identity->Id), kOffline});
        FailQueued(h, out);
        byId_.erase(h.Identity->Id);
        h.Identity.reset();
        h.Online = false;
        h.LastState.clear();
        h.State = {};
    }
    if (!h.Identity || !(*h.Identity == identity)) {
        if (!h.Identity) log_("horn " + identity.Id + " identified at " + h.Address);
        for (auto& m : DiscoveryMessages(topics_, identity))
            out.push_back(std::move(m));
        byId_[identity.Id] = index;
        h.Identity = identity;
    }
    h.Warned = false;
    h.NeedInfo = false;
    h.PollsSinceInfo = 0;
}

void THornTable::PolledInfo(std::size_t horn, const TOutcome& outcome, const TDeviceInfo& report,
                            bool supported) {
    const std::lock_guard lock(m_);
    if (closed_) return;
    THorn& h = horns_.at(horn);
    std::vector<TMessage> out;
    if (!IsAnswer(outcome)) {
        Missed(h, out);
    } else if (outcome.Kind == TOutcomeKind::Done && !supported) {
        if (!h.Warned)
            log_("the device at " + h.Address + " is model " + std::to_string(report.Model) +
                 ", not a supported horn; not bridged");
        h.Warned = true;
        h.Missed = 0;
    } else if (outcome.Kind == TOutcomeKind::Done) {
        Identify(horn, report, out);
        if (h.Identity) {
            Answered(h, out);
            h.State.Output = report.Output != 0;
            h.State.Input = report.Input != 0;
            h.State.Armed = report.Armed != 0;
            h.State.RssiDbm =
                RssiKnown(report.RssiRaw) ? std::optional(RssiDbm(report.RssiRaw)) : std::nullopt;
            PublishState(h, out);
        }
    } else {
        Answered(h, out);
    }
    sink_(std::move(out));
}

void THornTable::PolledStatus(std::size_t horn, const TOutcome& outcome,
                              const TDeviceStatus& status) {
    const std::lock_guard lock(m_);
    if (closed_) return;
    THorn& h = horns_.at(horn);
    std::vector<TMessage> out;
    if (!IsAnswer(outcome)) {
        Missed(h, out);
    } else {
        Answered(h, out);
        if (outcome.Kind == TOutcomeKind::Done) {
            h.State.Output = status.Output != 0;
            h.State.Input = status.Input != 0;
            h.State.Armed = status.Armed != 0;
            h.State.RssiDbm =
                RssiKnown(status.RssiRaw) ? std::optional(RssiDbm(status.RssiRaw)) : std::nullopt;
            PublishState(h, out);
        }
    }
    sink_(std::move(out));
}

bool THornTable::Received(const std::string& topic, std::string_view payload, bool retained) {
    const auto address = topics_.ParseCommand(topic);
    if (!address || (retained && payload.empty())) return false;
    const std::lock_guard lock(m_);
    if (closed_) return false;
    const auto found = byId_.find(address->Id);
    if (found == byId_.end()) return false;
    THorn& h = horns_[found->second];
    const TCommandTopic kind = address->Command;
    auto answer = [&](const TOutcome& outcome) {
        sink_({Result(h, kind, outcome)});
        return false;
    };
    // A retained command would sound the horn again on every reconnection.
    if (retained) return answer(Invalid("retained commands are not carried out"));
    TCommand command;
    command.Kind = kind;
    std::string error;
    if (kind == TCommandTopic::SirenSet) {
        TSirenRequest request;
        if (!ParseSirenPayload(payload, request, error)) return answer(Invalid(error));
        command.On = request.On;
        command.Tone = request.Tone;
    } else if (!ParsePressPayload(payload, error)) {
        return answer(Invalid(error));
    }
    if (!h.Online) {
        TOutcome unreachable{TOutcomeKind::Unreachable};
        unreachable.Message = "the horn is offline";
        return answer(unreachable);
    }
    if (h.Queue.size() >= kMaxQueuedCommands) {
        TOutcome busy{TOutcomeKind::Busy};
        busy.Message = "too many commands waiting for this horn";
        return answer(busy);
    }
    h.Queue.push_back(command);
    if (!h.Waiting) {
        h.Waiting = true;
        waiting_.push_back(found->second);
    }
    return true;
}

std::vector<std::size_t> THornTable::TakeWaiting() {
    const std::lock_guard lock(m_);
    std::vector<std::size_t> taken;
    taken.swap(waiting_);
    for (std::size_t i : taken)
        horns_[i].Waiting = false;
    return taken;
}

std::optional<TCommand> THornTable::NextCommand(std::size_t horn) {
    const std::lock_guard lock(m_);
    THorn& h = horns_.at(horn);
    if (h.Queue.empty() || closed_) return std::nullopt;
    TCommand c = h.Queue.front();
    h.Queue.pop_front();
    // Without a tone, the horn's tone when the command runs, not when it came.
    c.SendTone = c.Tone.value_or(h.State.Tone);
    return c;
}

void THornTable::CommandDone(std::size_t horn, const TCommand& command, const TOutcome& outcome) {
    const std::lock_guard lock(m_);
    if (closed_) return;
    THorn& h = horns_.at(horn);
    if (!h.Identity) return;
    std::vector<TMessage> out;
    if (outcome.Ok()) {
        if (command.Kind == TCommandTopic::SirenSet) {
            h.State.Output = command.On;
            if (command.On && command.Tone) h.State.Tone = *command.Tone;
            PublishState(h, out);
        } else if (command.Kind == TCommandTopic::Reboot) {
            h.NeedInfo = true;
        }
    }
    out.push_back(Result(h, command.Kind, outcome));
    sink_(std::move(out));
}

void THornTable::Republish(const TSink& replace) const {
    const std::lock_guard lock(m_);
    if (closed_) return;
    std::vector<TMessage> out{{topics_.BridgeAvailability(), kOnline}};
    for (const auto& h : horns_) {
        if (!h.Identity) continue;
        for (auto& m : DiscoveryMessages(topics_, *h.Identity))
            out.push_back(std::move(m));
        out.push_back({topics_.Availability(h.Identity->Id), h.Online ? kOnline : kOffline});
        out.push_back({topics_.State(h.Identity->Id), StateJson(*h.Identity, h.State)});
    }
    replace(std::move(out));
}

void THornTable::Farewell() {
    const std::lock_guard lock(m_);
    if (closed_) return;
    std::vector<TMessage> out;
    for (auto& h : horns_) {
        if (!h.Identity) continue;
        out.push_back({topics_.Availability(h.Identity->Id), kOffline});
        h.Online = false;
    }
    out.push_back({topics_.BridgeAvailability(), kOffline});
    closed_ = true;
    sink_(std::move(out));
}

}  // namespace kstbell::bridge
