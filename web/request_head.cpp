#include "web/request_head.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "web/header_text.h"

namespace kstbell::web {

namespace {

// How many body bytes to wait for before serving: none when the head asks for an answer
// before its body (Expect), frames it otherwise (chunks) or cannot be trusted (several or
// unreadable lengths, one over the limit).
std::size_t BodyToWaitFor(std::string_view headers, std::size_t maxBody) {
    std::optional<std::uint64_t> length;
    bool unusual = false;
    while (!headers.empty()) {
        const auto end = headers.find("\r\n");
        const auto line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 2);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const auto name = line.substr(0, colon);
        const auto value = TrimBlanks(line.substr(colon + 1));
        if (EqualsNoCase(name, "Transfer-Encoding") || EqualsNoCase(name, "Expect")) {
            unusual = true;
        } else if (EqualsNoCase(name, "Content-Length")) {
            std::uint64_t n = 0;
            const auto [at, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
            if (length || value.empty() || ec != std::errc() || at != value.data() + value.size())
                unusual = true;
            length = n;
        }
    }
    if (unusual || !length || *length > maxBody) return 0;
    return static_cast<std::size_t>(*length);
}

}  // namespace

THeadScan ScanHead(std::string_view buffer, const THeadLimits& limits) {
    THeadScan scan;
    const auto lineEnd = buffer.find("\r\n");
    if (lineEnd == std::string_view::npos) {
        if (buffer.size() > limits.MaxHeadBytes) scan.State = THeadScan::TState::TargetTooLong;
        return scan;
    }
    if (lineEnd > limits.MaxHeadBytes) {
        scan.State = THeadScan::TState::TargetTooLong;
        return scan;
    }
    const auto end = buffer.find("\r\n\r\n");
    const auto seen = end == std::string_view::npos ? buffer : buffer.substr(0, end + 2);
    std::size_t lines = 0;
    for (auto at = seen.find("\r\n", lineEnd + 2); at != std::string_view::npos;
         at = seen.find("\r\n", at + 2)) {
        ++lines;
    }
    if (lines > limits.MaxHeaderLines) {
        scan.State = THeadScan::TState::TooManyHeaders;
        return scan;
    }
    if (end == std::string_view::npos || end + 4 > limits.MaxHeadBytes) {
        if (buffer.size() > limits.MaxHeadBytes || end != std::string_view::npos) {
            scan.State = THeadScan::TState::HeadTooLarge;
        }
        return scan;
    }
    scan.HeadBytes = end + 4;
    const auto requestLine = buffer.substr(0, lineEnd);
    const auto space = requestLine.find(' ');
    scan.Method = requestLine.substr(0, space);
    if (space != std::string_view::npos) {
        const auto rest = requestLine.substr(space + 1);
        scan.Target = rest.substr(0, rest.find(' '));
    }
    const auto headers =
        end == lineEnd ? std::string_view() : buffer.substr(lineEnd + 2, end - lineEnd);
    const auto body = BodyToWaitFor(headers, limits.MaxBodyBytes);
    if (buffer.size() >= scan.HeadBytes + body) scan.State = THeadScan::TState::Ready;
    return scan;
}

}  // namespace kstbell::web
