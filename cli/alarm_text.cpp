#include "cli/alarm_text.h"

#include "cli/service_verb.h"

namespace kstbell::cli {

std::string AlarmLine(const nlohmann::ordered_json& alarm) {
    std::string line = Text(alarm, "name");
    const std::string label = Text(alarm, "label");
    if (!label.empty() && label != line) line += " (" + label + ")";
    line += ", priority " + Number(alarm, "priority") + ": ";
    if (!alarm.value("sounding", false)) return line + "quiet";
    line += "sounding";
    const auto ring = alarm.find("ring");
    if (ring != alarm.end() && ring->is_object())
        line += ", ring " + Number(*ring, "id") + " until " + Text(*ring, "end");
    return line;
}

}  // namespace kstbell::cli
