#include "sim/request_parser.h"

#include <algorithm>
#include <string_view>

namespace kstbell::sim {

namespace {

constexpr std::size_t kCodeOffset = 4;
constexpr std::size_t kKeyLengthOffset = 5;
constexpr std::size_t kPathLengthOffset = 16;
constexpr std::size_t kPathOffset = 17;

bool MagicMatches(std::span<const std::uint8_t> bytes) {
    return std::equal(std::begin(kFrameMagic), std::end(kFrameMagic), bytes.begin());
}

// Bounds of a known code; the key request depends on its length byte, which must have arrived.
std::optional<TFrameBounds> BoundsOf(std::uint8_t code, std::span<const std::uint8_t> received) {
    switch (code) {
        case CodeSetLocator:
        case CodeGetDeviceInfo:
            return TFrameBounds{7, 9};
        case CodeGetImageChecksum:
        case CodeImageChecksumNotify:
            return TFrameBounds{9, 9};
        case CodeReset:
        case CodeModbusUpdated:
            return TFrameBounds{5, 5};
        case CodeSetWifiMode:
        case CodeKillConfig:
            return TFrameBounds{6, 6};
        case CodeSetWebLoginKey: {
            if (received.size() <= kKeyLengthOffset) return TFrameBounds{6, 6};
            const std::size_t total = 6 + std::size_t{received[kKeyLengthOffset]};
            return TFrameBounds{total, total};
        }
        case CodeImageHeaderPlain:
        case CodeKillFile:
            return TFrameBounds{40, 40};
        case CodeFileHeader:
            return TFrameBounds{40, 60};
        case CodeSetOutput:
            return TFrameBounds{7, 8};
        case CodeGetStatus:
            return TFrameBounds{5, 7};
        default:
            return std::nullopt;
    }
}

}  // namespace

TFrameCheck CheckFrame(std::span<const std::uint8_t> received) {
    TFrameCheck check;
    if (received.size() < sizeof kFrameMagic) {
        // Decide on a wrong magic as early as the first differing byte.
        if (!std::equal(received.begin(), received.end(), std::begin(kFrameMagic))) {
            check.State = EFrameState::WrongMagic;
        }
        return check;
    }
    if (!MagicMatches(received)) {
        check.State = EFrameState::WrongMagic;
        return check;
    }
    if (received.size() < kHeaderLength) return check;

    const auto bounds = BoundsOf(received[kCodeOffset], received);
    if (!bounds) {
        check.State = EFrameState::UnknownCode;
        return check;
    }
    check.Bounds = *bounds;
    // The key request only knows its true length once byte 5 is in.
    const bool lengthKnown =
        received[kCodeOffset] != CodeSetWebLoginKey || received.size() > kKeyLengthOffset;
    check.State = lengthKnown && received.size() >= bounds->Min ? EFrameState::Complete
                                                                : EFrameState::NeedMore;
    return check;
}

std::uint32_t TParsedRequest::Be32(std::size_t offset) const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value = (value << 8) | At(offset + i);
    return value;
}

TParseOutcome ParseRequest(std::span<const std::uint8_t> received) {
    TParseOutcome outcome;
    const TFrameCheck check = CheckFrame(received);
    switch (check.State) {
        case EFrameState::WrongMagic:
            outcome.Error = EParseError::WrongMagic;
            return outcome;
        case EFrameState::NeedMore:
            outcome.Error = EParseError::Short;
            return outcome;
        case EFrameState::UnknownCode:
            outcome.Error = EParseError::UnknownCode;
            return outcome;
        case EFrameState::Complete:
            break;
    }
    TParsedRequest request;
    request.Code = received[kCodeOffset];
    const std::size_t length = std::min(received.size(), check.Bounds.Max);
    request.Bytes.assign(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(length));
    outcome.Request = std::move(request);
    return outcome;
}

std::optional<std::string> RequestPath(const TParsedRequest& request) {
    if (request.Bytes.size() <= kPathLengthOffset) return std::nullopt;
    const std::size_t length = request.Bytes[kPathLengthOffset];
    if (kPathOffset + length > request.Bytes.size()) return std::nullopt;
    const auto first = request.Bytes.begin() + static_cast<std::ptrdiff_t>(kPathOffset);
    return std::string(first, first + static_cast<std::ptrdiff_t>(length));
}

bool IsValidDevicePath(const std::string& path) {
    if (path.size() < 2 || path.front() != '/' || path.back() == '/') return false;
    if (path.find('\0') != std::string::npos) return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string_view part(path.data() + start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace kstbell::sim
