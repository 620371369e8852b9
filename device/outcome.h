#pragma once

// What an operation on the device did, as a value. Every client turns it into its own words:
// the windows into boxes and status texts, the command line into JSON and exit codes.

#include <cstdint>
#include <string>

namespace kstbell {

enum class TOutcomeKind {
    Done,          // it happened (or, for a command the device restarts on, was sent)
    Refused,       // the device answered with a status other than accepted
    NoReply,       // the request went out; no whole answer to it came in time
    Unreachable,   // no connection could be made
    SocketError,   // the connection broke after it was made
    NotLocated,    // this PC is not on the device's network; nothing was sent
    Busy,          // another request was using the link; nothing was sent
    InvalidInput,  // the values given break a rule; nothing was sent
    VerifyFailed,  // the device's byte sum of what it stored differs from the one sent
    Cancelled,     // withdrawn before it was sent: a newer command took its place, or the
                   // program is stopping
};

// Which rule an invalid input broke.
enum class TInvalid {
    None,
    Ssid,           // 1 to 31 bytes
    Key,            // 8 to 16 bytes
    DottedQuad,     // four decimal octets 0 to 255
    WebKey,         // 1 to 5 bytes
    Location,       // 1 to 31 bytes
    PortNotNumber,  // Message: the conversion's message
    PortInUse,      // the device's command port or 80
    PortRange,      // 1 to 65535
    TimeoutNotNumber,
    TimeoutRange,  // 1 to 65000 seconds
    PathTooLong,
    ContentLength,
    ImageUnreadable,  // Message: why
    ImageNotFile,     // Message: what it is instead ("a folder")
    ImageEmpty,
    ImageTooLong,  // Total: its length
    ControlByte,   // Message: the field that holds one ("the SSID")
};

// Where in a file transfer an operation stopped.
enum class TPhase {
    Request,      // the single request of a command or delete
    Header,       // the header request that announces a file or image
    DataConnect,  // the connection that carries the content
    Data,         // writing the content; Done of Total bytes went out
    Checksum,     // asking the device for the sum of what it stored
};

struct TOutcome {
    TOutcome() = default;
    TOutcome(TOutcomeKind kind) : Kind(kind) {}  // NOLINT: an outcome is its kind first

    TOutcomeKind Kind = TOutcomeKind::Done;
    std::uint8_t Status = 0;  // Refused: the status byte
    std::string Message;      // Unreachable, SocketError: the system's text
    TInvalid Invalid = TInvalid::None;
    TPhase Phase = TPhase::Request;
    std::uint64_t Done = 0;       // Data: bytes written
    std::uint64_t Total = 0;      // Data: bytes to write; ImageTooLong: the image's length
    std::uint32_t DeviceSum = 0;  // VerifyFailed
    std::uint64_t LocalSum = 0;   // VerifyFailed
    std::string Path;             // the device file, or the image file, it was about
    std::uint8_t Command = 0;     // the command it sent

    bool Ok() const { return Kind == TOutcomeKind::Done; }
};

// The kind's name as the command line's JSON, the MQTT results and the HTTP errors give it:
// "ok" for Done; "unreachable", "no_reply", "refused", "not_located", "busy", "invalid_input",
// "verify_failed", "cancelled" or "socket_error" otherwise.
const char* OutcomeKindName(TOutcomeKind kind);

inline TOutcome Invalid(TInvalid rule, std::string message = {}) {
    TOutcome o;
    o.Kind = TOutcomeKind::InvalidInput;
    o.Invalid = rule;
    o.Message = std::move(message);
    return o;
}

}  // namespace kstbell
