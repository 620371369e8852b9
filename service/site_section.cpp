#include <cstdint>

#include "protocol/format_characters.h"
#include "service/site_file_parts.h"
#include "text/control.h"

namespace kstbell::service {

namespace {

constexpr std::size_t kLongestName = 100;
constexpr std::int64_t kLongestRingS = 3600;
constexpr std::int64_t kLongestLogDays = 36500;

}  // namespace

void ReadSiteSection(const toml::node& node, config::TReader& values, TSiteSettings& settings) {
    const toml::table* site = values.Table(node, "site");
    if (!site) return;
    for (const auto& [name, value] : *site) {
        const std::string key = "site." + std::string(name.str());
        if (name == "time_zone" || name == "late_tolerance_s") continue;  // the calendar's
        if (name == "name") {
            if (auto text = values.Text(value, key)) {
                if (text->size() > kLongestName || text::HasControlByte(*text))
                    values.Fail(value, key, "must be at most 100 bytes without control characters");
                else if (const auto invisible = FormatCharacterText(*text))
                    values.Fail(value, key, "must not hold " + *invisible);
                else
                    settings.Name = *text;
            }
        } else if (name == "max_ring_s") {
            if (auto s = values.Duration<std::chrono::seconds>(value, key, 1, kLongestRingS))
                settings.MaxRing = *s;
        } else if (name == "stop_unowned") {
            if (auto flag = values.Bool(value, key)) settings.StopUnowned = *flag;
        } else if (name == "log_days") {
            if (auto days = values.Duration<std::chrono::days>(value, key, 1, kLongestLogDays))
                settings.LogDays = *days;
        } else {
            values.Unknown(value, key,
                           "name, time_zone, max_ring_s, late_tolerance_s, stop_unowned and "
                           "log_days are");
        }
    }
}

}  // namespace kstbell::service
