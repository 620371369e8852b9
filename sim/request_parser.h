#pragma once

// Framing of the requests the device accepts: which command codes exist, how many bytes each
// one needs, and the fields carried in them. Pure functions over byte spans, so that any input
// can be thrown at them without a socket.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kstbell::sim {

inline constexpr std::uint8_t kFrameMagic[4] = {0x5A, 0x35, 0x77, 0xA5};
inline constexpr std::size_t kHeaderLength = 5;  // magic and code
inline constexpr std::uint8_t kStatusAck = 6;
inline constexpr std::uint8_t kStatusNak = 0x15;

enum ECommand : std::uint8_t {
    CodeSetLocator = 29,
    CodeGetDeviceInfo = 33,
    CodeGetImageChecksum = 37,
    CodeImageChecksumNotify = 38,
    CodeReset = 45,
    CodeSetWifiMode = 48,
    CodeSetWebLoginKey = 50,
    CodeImageHeaderPlain = 90,
    CodeKillFile = 93,
    CodeKillConfig = 94,
    CodeFileHeader = 95,
    CodeSetOutput = 208,
    CodeGetStatus = 216,
    CodeModbusUpdated = 220,
};

// The total lengths a request may have. Min is what must arrive before the request is acted
// on; bytes beyond Max are not part of it.
struct TFrameBounds {
    std::size_t Min = 0;
    std::size_t Max = 0;
};

enum class EFrameState {
    NeedMore,     // too few bytes yet to decide or to act
    Complete,     // at least Bounds.Min bytes of a known command
    WrongMagic,   // the first four bytes are not the frame magic
    UnknownCode,  // magic fine, code not one the device knows
};

struct TFrameCheck {
    EFrameState State = EFrameState::NeedMore;
    TFrameBounds Bounds;  // valid when State is Complete or NeedMore with a known code
};

// Looks at the bytes received so far and says whether the request is complete.
TFrameCheck CheckFrame(std::span<const std::uint8_t> received);

// A request as taken from the wire, cut to the longest length its code allows.
struct TParsedRequest {
    std::uint8_t Code = 0;
    std::vector<std::uint8_t> Bytes;

    // Byte at an offset; parameter bytes that were not sent read as 0.
    std::uint8_t At(std::size_t offset) const {
        return offset < Bytes.size() ? Bytes[offset] : std::uint8_t{0};
    }
    // Big-endian 32-bit number at an offset, missing bytes as 0.
    std::uint32_t Be32(std::size_t offset) const;
};

enum class EParseError { Short, WrongMagic, UnknownCode };

struct TParseOutcome {
    std::optional<TParsedRequest> Request;
    std::optional<EParseError> Error;
};

// Final verdict on all bytes a connection delivered (after EOF, timeout or enough bytes).
TParseOutcome ParseRequest(std::span<const std::uint8_t> received);

// The path carried in a file request: length byte at 16, characters from 17. Nothing when the
// announced characters lie beyond the received bytes.
std::optional<std::string> RequestPath(const TParsedRequest& request);

// A path the flash store accepts: absolute, no empty, "." or ".." component, no NUL byte and
// not ending in "/".
bool IsValidDevicePath(const std::string& path);

}  // namespace kstbell::sim
