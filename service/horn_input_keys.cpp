#include <algorithm>

#include "service/site_file_parts.h"

namespace kstbell::service {

namespace {

constexpr std::int64_t kLongestDebounceMs = 60000;
constexpr std::int64_t kLongestHoldOffS = 86400;

}  // namespace

bool THornInputKeys::Read(std::size_t entry, const std::string& key, const toml::node& value,
                          config::TReader& values) {
    const std::string full = "devices.horn." + key;
    TKeys& keys = entries_[entry];
    if (!keys.Line) keys.Line = value.source().begin.line;
    if (key == "input_alarm") {
        keys.AlarmGiven = true;
        keys.Alarm = values.Text(value, full);
        keys.Line = value.source().begin.line;
    } else if (key == "input_debounce_ms") {
        keys.Debounce =
            values.Duration<std::chrono::milliseconds>(value, full, 0, kLongestDebounceMs);
    } else if (key == "input_hold_off_s") {
        keys.HoldOff = values.Duration<std::chrono::seconds>(value, full, 0, kLongestHoldOffS);
    } else {
        return false;
    }
    return true;
}

std::vector<std::optional<alarms::TInputRule>> THornInputKeys::Rules(
    const std::vector<std::size_t>& entryOf, const std::vector<alarms::TAlarm>& alarms,
    config::TReader& values) const {
    std::map<std::size_t, alarms::TInputRule> byEntry;
    for (const auto& [entry, keys] : entries_) {
        if (!keys.Alarm) {
            if (!keys.AlarmGiven && (keys.Debounce || keys.HoldOff))
                values.FailAt(keys.Line, "devices.horn.input_alarm",
                              "is missing (input_debounce_ms and input_hold_off_s need it)");
            continue;
        }
        const bool known =
            std::any_of(alarms.begin(), alarms.end(),
                        [&name = *keys.Alarm](const auto& a) { return a.Name == name; });
        if (!known) {
            values.FailAt(keys.Line, "devices.horn.input_alarm",
                          "no alarm named '" + *keys.Alarm + "' ([alarms." + *keys.Alarm + "])");
            continue;
        }
        alarms::TInputRule rule;
        rule.Alarm = *keys.Alarm;
        if (keys.Debounce) rule.Debounce = *keys.Debounce;
        if (keys.HoldOff) rule.HoldOff = *keys.HoldOff;
        byEntry.emplace(entry, rule);
    }
    std::vector<std::optional<alarms::TInputRule>> rules(entryOf.size());
    for (std::size_t h = 0; h < entryOf.size(); ++h) {
        const auto found = byEntry.find(entryOf[h]);
        if (found != byEntry.end()) rules[h] = found->second;
    }
    return rules;
}

}  // namespace kstbell::service
