#include "alarms/input_triggers.h"

namespace kstbell::alarms {

TInputTriggers::TInputTriggers(std::vector<std::optional<TInputRule>> perHorn) {
    horns_.reserve(perHorn.size());
    for (auto& rule : perHorn)
        horns_.push_back({std::move(rule), std::nullopt, std::nullopt, true});
}

const std::string& TInputTriggers::Start(THorn& h, site::TInstant now) {
    h.PressedAt.reset();
    h.StartedAt = now;
    h.ReadOffSinceStart = false;
    return h.Rule->Alarm;
}

std::optional<std::string> TInputTriggers::Observed(std::size_t horn, bool input,
                                                    site::TInstant now) {
    if (horn >= horns_.size() || !horns_[horn].Rule) return std::nullopt;
    THorn& h = horns_[horn];
    // A clock set back would stretch the hold-off and the debounce by as much: they count from
    // now instead, so an input is never shut out for longer than its hold-off.
    if (h.StartedAt && *h.StartedAt > now) h.StartedAt = now;
    if (h.PressedAt && *h.PressedAt > now) h.PressedAt = now;
    if (!input) {
        h.PressedAt.reset();
        h.ReadOffSinceStart = true;
        return std::nullopt;
    }
    if (!h.ReadOffSinceStart) return std::nullopt;
    // During the hold-off a press is not counted; one still on when it has passed is.
    if (h.StartedAt && now - *h.StartedAt < h.Rule->HoldOff) return std::nullopt;
    if (!h.PressedAt) h.PressedAt = now;
    if (now - *h.PressedAt < h.Rule->Debounce) return std::nullopt;
    return Start(h, now);
}

std::vector<std::pair<std::size_t, std::string>> TInputTriggers::Due(site::TInstant now) {
    std::vector<std::pair<std::size_t, std::string>> due;
    for (std::size_t i = 0; i < horns_.size(); ++i) {
        THorn& h = horns_[i];
        if (h.PressedAt && *h.PressedAt > now) h.PressedAt = now;
        if (h.PressedAt && now - *h.PressedAt >= h.Rule->Debounce)
            due.emplace_back(i, Start(h, now));
    }
    return due;
}

std::optional<site::TInstant> TInputTriggers::NextDeadline() const {
    std::optional<site::TInstant> next;
    for (const auto& h : horns_) {
        if (!h.PressedAt) continue;
        const site::TInstant at = *h.PressedAt + h.Rule->Debounce;
        if (!next || at < *next) next = at;
    }
    return next;
}

void TInputTriggers::Lost(std::size_t horn) {
    if (horn < horns_.size()) horns_[horn].PressedAt.reset();
}

}  // namespace kstbell::alarms
