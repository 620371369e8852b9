#include "service/event_text.h"

#include <map>
#include <vector>

#include "text/control.h"

namespace kstbell::service {

std::string HornText(const TServiceConfig& config, std::size_t horn) {
    if (horn >= config.Horns.size()) return "horn " + std::to_string(horn);
    const auto& h = config.Horns[horn];
    return h.Name.empty() ? h.Address : h.Address + " (" + Printable(h.Name) + ")";
}

std::string DurationText(site::TMillis duration) {
    const auto ms = duration.count();
    if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
    std::string tenths = std::to_string(ms / 100);
    if (tenths.size() < 2) tenths.insert(0, "0");
    tenths.insert(tenths.size() - 1, ".");
    return tenths + " s";
}

std::string Printable(const std::string& text) {
    return text::MaskControlBytes(text);
}

std::string SwitchWord(const site::THornSwitchOn& horn) {
    switch (horn.State) {
        case site::TSwitchOn::On:
            return "switched on";
        case site::TSwitchOn::Offline:
            return "offline";
        case site::TSwitchOn::Pending:
            return "not answered yet";
        case site::TSwitchOn::Failed:
            break;
    }
    std::string word = OutcomeKindName(horn.Outcome.Kind);
    for (char& c : word)
        if (c == '_') c = ' ';
    return word;
}

std::string SwitchSummary(const site::TRingSwitches& switches) {
    const std::size_t all = switches.Horns.size();
    std::string text = std::to_string(switches.Count(site::TSwitchOn::On)) + " of " +
                       std::to_string(all) + (all == 1 ? " horn" : " horns") + " switched on";
    // The others by what became of them, in the order they first appear.
    std::vector<std::string> words;
    std::map<std::string, std::size_t> counts;
    for (const auto& h : switches.Horns) {
        if (h.State == site::TSwitchOn::On) continue;
        const std::string word = SwitchWord(h);
        if (counts[word]++ == 0) words.push_back(word);
    }
    for (const auto& word : words)
        text += "; " + std::to_string(counts[word]) + " " + word;
    return text;
}

store::TUtcTime Utc(site::TInstant at) {
    return std::chrono::floor<std::chrono::milliseconds>(at);
}

std::string UtcText(site::TInstant at) {
    return store::FormatUtc(Utc(at));
}

}  // namespace kstbell::service
