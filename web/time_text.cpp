#include "web/time_text.h"

namespace kstbell::web {

using namespace std::chrono;

std::string InstantText(TInstant at) {
    return text::FormatUtcMillis(floor<milliseconds>(at));
}

std::optional<TInstant> ParseInstant(std::string_view text) {
    const auto at = text::ParseRfc3339(text);
    if (!at) return std::nullopt;
    return TInstant(*at);
}

}  // namespace kstbell::web
