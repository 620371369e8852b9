#include "alarms/alarm_config.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "config/reader.h"
#include "protocol/format_characters.h"
#include "text/control.h"

namespace kstbell::alarms {

namespace {

constexpr std::int64_t kLongestAlarmMs = 3'600'000;
constexpr std::size_t kLongestName = 32;

// The name goes into MQTT topics and URLs as it is.
bool ValidName(const std::string& name) {
    return !name.empty() && name.size() <= kLongestName &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
           });
}

struct TPlaced {
    std::uint32_t Line;
    TAlarm Alarm;
};

class TAlarmsReader : config::TReader {
  public:
    TAlarmsReader(const std::string& path, std::vector<config::TError>& errors)
        : TReader(path, errors) {}

    std::vector<TPlaced> Read(const toml::table& root) {
        std::vector<TPlaced> read;
        const toml::node* node = root.get("alarms");
        if (!node) return read;
        const toml::table* alarms = Table(*node, "alarms");
        if (!alarms) return read;
        for (const auto& [name, value] : *alarms) {
            const std::string key = "alarms." + std::string(name.str());
            const std::size_t before = ErrorCount();
            TAlarm alarm;
            alarm.Name = name.str();
            if (!ValidName(alarm.Name))
                Fail(value, key,
                     "an alarm's name is 1 to 32 lower-case letters, digits, _ or - (it becomes "
                     "part of topics and addresses)");
            if (const toml::table* table = Table(value, key)) Alarm(*table, key, alarm);
            if (ErrorCount() == before) read.push_back({value.source().begin.line, alarm});
        }
        return read;
    }

  private:
    void Alarm(const toml::table& table, const std::string& key, TAlarm& alarm) {
        const toml::node* stepsNode = nullptr;
        bool lengthKnown = true;
        for (const auto& [name, value] : table) {
            const std::string inner = key + "." + std::string(name.str());
            if (name == "label") {
                auto label = Text(value, inner);
                const auto invisible = label ? FormatCharacterText(*label) : std::nullopt;
                if (label && text::HasControlByte(*label)) {
                    Fail(value, inner, "must not hold control characters");
                } else if (invisible) {
                    Fail(value, inner, "must not hold " + *invisible);
                } else if (label) {
                    alarm.Label = *label;
                }
            } else if (name == "group") {
                if (auto group = Text(value, inner)) alarm.Group = *group;
            } else if (name == "priority") {
                if (auto p = Integer<int>(value, inner, 101, 1000)) alarm.Priority = *p;
            } else if (name == "tone") {
                if (auto t = Integer<std::uint8_t>(value, inner, 0, 3)) alarm.Tone = *t;
            } else if (name == "repeat") {
                auto r = Integer(value, inner, 1, kLongestAlarmMs);
                if (r) alarm.Repeat = static_cast<int>(*r);
                lengthKnown = lengthKnown && r;
            } else if (name == "steps") {
                stepsNode = &value;
                lengthKnown = Steps(value, inner, alarm.Steps) && lengthKnown;
            } else {
                Unknown(value, inner, "label, group, priority, tone, repeat and steps are");
            }
        }
        if (alarm.Label.empty()) alarm.Label = alarm.Name;
        if (!stepsNode) return Missing(table, key + ".steps");
        if (!lengthKnown) return;
        // Steps of at most two hours each cannot add up past 64 bits; a round longer than the
        // longest alarm is refused before it is multiplied by repeat (at most 3600000).
        std::int64_t once = 0;
        for (const auto& step : alarm.Steps)
            once += (step.On + step.Off).count();
        if (once > kLongestAlarmMs)
            return Fail(*stepsNode, key + ".steps",
                        "the steps last " + std::to_string(once) +
                            " ms; an alarm lasts at most an hour (3600000 ms)");
        const std::int64_t total = once * alarm.Repeat;
        if (total > kLongestAlarmMs)
            Fail(*stepsNode, key + ".steps",
                 "the steps, repeated " + std::to_string(alarm.Repeat) + " times, last " +
                     std::to_string(total) + " ms; an alarm lasts at most an hour (3600000 ms)");
    }

    bool Steps(const toml::node& node, const std::string& key,
               std::vector<site::TPatternStep>& steps) {
        const toml::array* list =
            List(node, key, "must be a list of steps: { on_ms, off_ms, tone (optional) }");
        if (!list) return false;
        const std::size_t before = ErrorCount();
        for (std::size_t i = 0; i < list->size(); ++i) {
            const toml::node& item = *list->get(i);
            const std::string stepKey = key + "[" + std::to_string(i) + "]";
            const toml::table* table =
                Table(item, stepKey, "must be a step: { on_ms, off_ms, tone (optional) }");
            if (!table) continue;
            steps.push_back(Step(*table, stepKey));
        }
        return ErrorCount() == before;
    }

    site::TPatternStep Step(const toml::table& table, const std::string& key) {
        site::TPatternStep step;
        bool haveOn = false, haveOff = false;
        for (const auto& [name, value] : table) {
            const std::string inner = key + "." + std::string(name.str());
            if (name == "on_ms") {
                haveOn = true;
                if (auto on = Duration<site::TMillis>(value, inner, 1, kLongestAlarmMs))
                    step.On = *on;
            } else if (name == "off_ms") {
                haveOff = true;
                if (auto off = Duration<site::TMillis>(value, inner, 0, kLongestAlarmMs))
                    step.Off = *off;
            } else if (name == "tone") {
                if (auto t = Integer<std::uint8_t>(value, inner, 0, 3)) step.Tone = *t;
            } else {
                Unknown(value, inner, "on_ms, off_ms and tone are");
            }
        }
        if (!haveOn) Missing(table, key + ".on_ms");
        if (!haveOff) Missing(table, key + ".off_ms");
        return step;
    }
};

}  // namespace

bool ReadAlarms(const toml::table& root, const std::string& path, std::vector<TAlarm>& alarms,
                std::vector<config::TError>& errors) {
    std::vector<config::TError> found;
    std::vector<TPlaced> read = TAlarmsReader(path, found).Read(root);
    if (!found.empty()) {
        config::SortByLine(found);
        errors.insert(errors.end(), found.begin(), found.end());
        return false;
    }
    std::stable_sort(read.begin(), read.end(),
                     [](const auto& a, const auto& b) { return a.Line < b.Line; });
    alarms.clear();
    for (auto& placed : read)
        alarms.push_back(std::move(placed.Alarm));
    return true;
}

bool ReadAlarms(const toml::table& root, const std::string& path, std::vector<TAlarm>& alarms,
                std::vector<std::string>& errors) {
    std::vector<config::TError> found;
    const bool ok = ReadAlarms(root, path, alarms, found);
    for (auto& line : config::FormatErrors(found))
        errors.push_back(std::move(line));
    return ok;
}

void CheckAlarmGroups(const toml::table& root, const std::string& path,
                      const std::function<bool(const std::string&)>& exists,
                      std::vector<config::TError>& errors) {
    const toml::table* alarms = root["alarms"].as_table();
    if (!alarms) return;
    std::vector<config::TError> found;
    for (const auto& [name, value] : *alarms) {
        const toml::node* group = value.is_table() ? value.as_table()->get("group") : nullptr;
        const auto* text = group ? group->as_string() : nullptr;
        if (text && !text->get().empty() && !exists(text->get()))
            found.push_back({path, group->source().begin.line,
                             "alarms." + std::string(name.str()) + ".group",
                             "no group named '" + text->get() + "'"});
    }
    config::SortByLine(found);
    errors.insert(errors.end(), found.begin(), found.end());
}

void CheckAlarmGroups(const toml::table& root, const std::string& path,
                      const std::function<bool(const std::string&)>& exists,
                      std::vector<std::string>& errors) {
    std::vector<config::TError> found;
    CheckAlarmGroups(root, path, exists, found);
    for (auto& line : config::FormatErrors(found))
        errors.push_back(std::move(line));
}

}  // namespace kstbell::alarms
