#include "web/request_target.h"

namespace kstbell::web {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <typename F>
void Split(std::string_view text, char separator, F each) {
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        each(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) return;
        start = end + 1;
    }
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text, bool plus) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (text.size() - i < 3) return std::nullopt;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (plus && c == '+') {
            c = ' ';
        }
        if (c == '\0') return std::nullopt;
        out.push_back(c);
    }
    return out;
}

std::optional<TTarget> ParseTarget(std::string_view target, std::string& error) {
    if (target.empty() || target.front() != '/') {
        error = "the request target must be a path starting with '/'";
        return std::nullopt;
    }
    const auto mark = target.find('?');
    const auto path = target.substr(1, mark == std::string_view::npos ? mark : mark - 1);
    TTarget out;
    bool ok = true;
    Split(path, '/', [&](std::string_view segment) {
        if (!ok) return;
        auto decoded = PercentDecode(segment, false);
        if (!decoded) {
            ok = false;
            return;
        }
        out.Segments.push_back(std::move(*decoded));
    });
    if (!ok) {
        error = "the path has a broken percent escape or a NUL";
        return std::nullopt;
    }
    if (mark == std::string_view::npos) return out;
    Split(target.substr(mark + 1), '&', [&](std::string_view pair) {
        if (!ok || pair.empty()) return;
        const auto equals = pair.find('=');
        auto key = PercentDecode(pair.substr(0, equals), true);
        auto value = PercentDecode(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), true);
        if (!key || !value) {
            ok = false;
            return;
        }
        out.Query.emplace_back(std::move(*key), std::move(*value));
    });
    if (!ok) {
        error = "the query has a broken percent escape or a NUL";
        return std::nullopt;
    }
    return out;
}

}  // namespace kstbell::web
