#include "store/clean_text.h"

#include <algorithm>

#include "text/utf8.h"

namespace kstbell::store {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string CleanText(std::string_view text, std::size_t maxBytes) {
    std::string clean;
    clean.reserve(std::min(text.size(), maxBytes));
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t codePoint = 0;
        const std::size_t length = text::Utf8SequenceAt(text.substr(pos), codePoint);
        const std::string_view piece = length ? text.substr(pos, length) : kReplacement;
        if (clean.size() + piece.size() > maxBytes) break;
        clean.append(piece);
        pos += length ? length : 1;
    }
    return clean;
}

}  // namespace kstbell::store
