#include "service/event_text.h"

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
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return out;
}

store::TUtcTime Utc(site::TInstant at) {
    return std::chrono::floor<std::chrono::milliseconds>(at);
}

std::string UtcText(site::TInstant at) {
    return store::FormatUtc(Utc(at));
}

}  // namespace kstbell::service
