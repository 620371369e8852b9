#include "service/mqtt/site_front.h"

#include <algorithm>
#include <chrono>

#include <nlohmann/json.hpp>

#include "mqtt/command_payload.h"

namespace kstbell::service {

namespace {

using nlohmann::json;
using THornEventKind = site::THornEvent::TKind;

// Rings of this priority and above are alarms' (bells ring at 0, rings asked for by hand at 50).
constexpr int kAlarmPriority = 101;
// Rings that ended, remembered so that a seed taken just before their end does not bring them
// back: many more than can end between a look at the site's rings and the seed.
constexpr std::size_t kRecentlyEnded = 1024;

std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

// Reads the payload as the command's kind takes it; false with the reason in error.
bool ReadPayload(TSiteCommand& c, std::string_view payload, std::string& error) {
    switch (c.Address.Kind) {
        case TSiteCommandKind::GroupSiren:
        case TSiteCommandKind::AlarmSwitch: {
            const bool group = c.Address.Kind == TSiteCommandKind::GroupSiren;
            mqtt::TSirenRequest r;
            const bool read = mqtt::ParseSirenPayload(payload, r, error, group);
            c.Id = r.Id;
            if (!read) return false;
            if (!group && r.Tone) {
                error = "an alarm sounds its own tones: tone is not taken";
                return false;
            }
            c.On = r.On;
            c.Tone = r.Tone;
            if (r.On && r.DurationS) c.Duration = std::chrono::seconds(*r.DurationS);
            return true;
        }
        case TSiteCommandKind::AlarmStart:
        case TSiteCommandKind::StopAll:
            return mqtt::ParsePressPayload(payload, c.Id, error);
    }
    return false;
}

}  // namespace

TSiteFront::TSiteFront(const mqtt::TTopics& topics, const mqtt::TProgram& program,
                       TSiteMqttInfo info, const std::vector<std::vector<std::size_t>>& groupHorns,
                       std::size_t hornCount, TSink sink, mqtt::TLog log)
    : topics_(topics),
      siteTopics_(topics.Base(), program.Level),
      program_(program),
      siteName_(std::move(info.SiteName)),
      configurationUrl_(std::move(info.ConfigurationUrl)),
      sink_(std::move(sink)),
      log_(std::move(log)),
      hornGroups_(hornCount),
      sounding_(hornCount, false) {
    for (std::size_t g = 0; g < info.Groups.size(); ++g) {
        const std::string& name = info.Groups[g];
        if (const auto problem = TopicLevelProblem(name)) {
            log_("group '" + name + "' is not offered over MQTT: its name " + *problem);
            continue;
        }
        TGroup group;
        group.Name = name;
        if (const auto label = info.GroupLabels.find(name); label != info.GroupLabels.end())
            group.Label = label->second;
        if (g < groupHorns.size()) {
            for (std::size_t h : groupHorns[g]) {
                if (h >= hornCount) continue;
                hornGroups_[h].push_back(groups_.size());
                ++group.Horns;
            }
        }
        groups_.push_back(std::move(group));
    }
    for (auto& [name, label] : info.Alarms) {
        if (const auto problem = TopicLevelProblem(name)) {
            log_("alarm '" + name + "' is not offered over MQTT: its name " + *problem);
            continue;
        }
        TAlarm alarm;
        alarm.Name = name;
        alarm.Label = label.empty() ? name : label;
        alarms_.push_back(std::move(alarm));
    }
}

std::optional<TSiteCommand> TSiteFront::Parse(const std::string& topic, std::string_view payload,
                                              bool retained) const {
    const auto address = siteTopics_.Parse(topic);
    // An empty retained message removes a retained command from the broker: nothing to do.
    if (!address || (retained && payload.empty())) return std::nullopt;
    TSiteCommand c;
    c.Address = *address;
    std::string error;
    const bool read = ReadPayload(c, payload, error);
    const auto named = [&](const auto& list) {
        return std::any_of(list.begin(), list.end(),
                           [&](const auto& e) { return e.Name == c.Address.Name; });
    };
    // A retained command would be carried out again on every connection.
    if (retained) {
        c.Error = "retained commands are not carried out";
    } else if (!read) {
        c.Error = error;
    } else if (c.Address.Kind == TSiteCommandKind::GroupSiren && !named(groups_)) {
        c.Error = "no group is called '" + c.Address.Name + "'";
    } else if ((c.Address.Kind == TSiteCommandKind::AlarmStart ||
                c.Address.Kind == TSiteCommandKind::AlarmSwitch) &&
               !named(alarms_)) {
        c.Error = "no alarm is called '" + c.Address.Name + "'";
    }
    return c;
}

mqtt::TMessage TSiteFront::Result(const TSiteCommand& command, const TSiteOutcome& outcome) const {
    json j = {{"command", siteTopics_.CommandName(command.Address)}};
    if (!command.Id.empty()) j["id"] = json::parse(command.Id, nullptr, false);
    const bool ok = outcome.Ok && command.Error.empty();
    j["ok"] = ok;
    if (!command.Error.empty()) {
        j["error"] = "invalid_input";
        j["message"] = command.Error;
    } else if (!ok) {
        j["error"] = outcome.Error;
        if (!outcome.Message.empty()) j["message"] = outcome.Message;
    }
    if (outcome.Horns) j["horns"] = *outcome.Horns;
    if (outcome.Held) j["held"] = *outcome.Held;
    if (outcome.DurationS) j["duration"] = *outcome.DurationS;
    if (outcome.Clamped) j["clamped"] = true;
    if (outcome.SwitchedOn) j["switched_on"] = *outcome.SwitchedOn;
    if (!outcome.NotSwitchedOn.empty()) {
        json notOn = json::array();
        for (const auto& [horn, reason] : outcome.NotSwitchedOn)
            notOn.push_back({{"horn", horn}, {"reason", reason}});
        j["not_switched_on"] = std::move(notOn);
    }
    if (outcome.Pending) j["pending"] = *outcome.Pending;
    if (outcome.Stopped) j["stopped"] = *outcome.Stopped;
    if (outcome.Superseded) {
        j["superseded"] = true;
        j["message"] =
            "not carried out by itself: a later command for the same group, or Stop all, took "
            "its place";
    }
    return {siteTopics_.Result(), Dump(j), false};
}

void TSiteFront::GroupState(TGroup& group, std::vector<mqtt::TMessage>& out, bool always) {
    std::string state = Dump({{"state", OnOff(group.Sounding > 0)},
                              {"sounding", group.Sounding},
                              {"horns", group.Horns}});
    if (!always && state == group.Last) return;
    group.Last = state;
    out.push_back({siteTopics_.GroupState(group.Name), std::move(state)});
}

void TSiteFront::AlarmState(TAlarm& alarm, std::vector<mqtt::TMessage>& out, bool always) {
    std::string state = OnOff(!alarm.Rings.empty());
    if (!always && state == alarm.Last) return;
    alarm.Last = state;
    out.push_back({siteTopics_.AlarmState(alarm.Name), std::move(state)});
}

void TSiteFront::Queue(std::vector<mqtt::TMessage> messages) {
    if (!messages.empty() && !closed_) sink_(std::move(messages));
}

void TSiteFront::Sounding(const site::THornView& view, std::vector<std::size_t>& changed) {
    const std::size_t h = view.Index;
    if (h >= sounding_.size()) return;
    const bool now = view.Presence != TPresence::Offline && view.State.Output;
    if (now == sounding_[h]) return;
    sounding_[h] = now;
    for (std::size_t g : hornGroups_[h]) {
        if (now)
            ++groups_[g].Sounding;
        else
            --groups_[g].Sounding;
        changed.push_back(g);
    }
}

void TSiteFront::QueueGroups(std::vector<std::size_t>& changed) {
    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    std::vector<mqtt::TMessage> out;
    for (std::size_t g : changed)
        GroupState(groups_[g], out);
    Queue(std::move(out));
}

void TSiteFront::OnHornEvents(const std::vector<site::THornEvent>& events) {
    const std::lock_guard lock(m_);
    std::vector<std::size_t> changed;
    for (const auto& e : events) {
        if (e.Kind != THornEventKind::CommandDone && e.Kind != THornEventKind::Unsupported &&
            e.Kind != THornEventKind::DuplicateMac)
            Sounding(e.View, changed);
    }
    QueueGroups(changed);
}

void TSiteFront::SyncHorns(const std::vector<site::THornView>& views) {
    const std::lock_guard lock(m_);
    std::vector<std::size_t> changed;
    for (const auto& v : views)
        Sounding(v, changed);
    QueueGroups(changed);
}

std::optional<std::size_t> TSiteFront::AlarmOf(const site::TRingOrder& order) const {
    if (order.Priority < kAlarmPriority) return std::nullopt;
    for (std::size_t a = 0; a < alarms_.size(); ++a)
        if (alarms_[a].Name == order.Label) return a;
    for (std::size_t a = 0; a < alarms_.size(); ++a)
        if (alarms_[a].Label == order.Label) return a;
    return std::nullopt;
}

void TSiteFront::AddRing(std::uint64_t ring, std::size_t alarm, std::vector<mqtt::TMessage>& out) {
    ringAlarm_[ring] = alarm;
    alarms_[alarm].Rings.insert(ring);
    AlarmState(alarms_[alarm], out);
}

void TSiteFront::OnRingStarted(const site::TRingStart& start) {
    const std::lock_guard lock(m_);
    const auto alarm = AlarmOf(start.Record.Order);
    if (!alarm) return;
    std::vector<mqtt::TMessage> out;
    AddRing(start.Record.Id, *alarm, out);
    Queue(std::move(out));
}

void TSiteFront::OnRingEnded(const site::TRingEnd& end) {
    const std::lock_guard lock(m_);
    recentlyEnded_.push_back(end.Ring);
    if (recentlyEnded_.size() > kRecentlyEnded) recentlyEnded_.pop_front();
    const auto found = ringAlarm_.find(end.Ring);
    if (found == ringAlarm_.end()) return;
    TAlarm& alarm = alarms_[found->second];
    ringAlarm_.erase(found);
    alarm.Rings.erase(end.Ring);
    std::vector<mqtt::TMessage> out;
    AlarmState(alarm, out);
    Queue(std::move(out));
}

void TSiteFront::Seed(const std::vector<site::TRingRecord>& active) {
    const std::lock_guard lock(m_);
    std::vector<mqtt::TMessage> out;
    for (const auto& r : active) {
        const auto alarm = AlarmOf(r.Order);
        if (!alarm ||
            std::find(recentlyEnded_.begin(), recentlyEnded_.end(), r.Id) != recentlyEnded_.end())
            continue;
        AddRing(r.Id, *alarm, out);
    }
    Queue(std::move(out));
}

mqtt::TMessage TSiteFront::Discovery() const {
    const std::lock_guard lock(m_);
    TSiteDevice device{siteName_, {}, {}, configurationUrl_};
    for (const auto& g : groups_)
        device.Groups.emplace_back(g.Name, g.Label);
    for (const auto& a : alarms_)
        device.Alarms.emplace_back(a.Name, a.Label);
    return SiteDiscovery(topics_, siteTopics_, device, program_);
}

void TSiteFront::Republish() {
    const std::lock_guard lock(m_);
    std::vector<mqtt::TMessage> out;
    for (auto& g : groups_)
        GroupState(g, out, true);
    for (auto& a : alarms_)
        AlarmState(a, out, true);
    Queue(std::move(out));
}

void TSiteFront::Close() {
    const std::lock_guard lock(m_);
    closed_ = true;
}

}  // namespace kstbell::service
