#pragma once

// What a device session tells about itself while it works. The windows' presenter turns these
// into captions and boxes; other clients log or ignore them. Callbacks run on the thread that
// drives the session, inside the operation that caused them.

#include <cstdint>
#include <string>

#include "protocol/device_info.h"

namespace kstbell {

// A short event of the kind a status line reports.
enum class TNoteKind {
    ConnectFailed,     // a request found no connection
    Connected,         // a request's connection was made
    InvalidHeader,     // a reply with another frame magic
    LocatorDone,       // the device accepted find-me
    ResetExecuted,     // the device accepted a reset
    FileKilled,        // the device deleted a file
    ConfigKilled,      // the device went back to its factory configuration
    OutputSet,         // the device switched its output; Value: the input state
    ChecksumMatch,     // the device stored the image with the sum that was sent
    ChecksumMismatch,  // the device's sum differs
    AddressChanged,    // Text: the new device address
    SendingFile,       // Text: the device path
    TransferLength,    // Value: the content length
    DeletingFile,      // Text: the device path
    ImageLength,       // Value: the image file's length
    ImageTooLong,      // the image does not fit the device
    ImageSum,          // Value: the image's byte sum
    ImageUnconfirmed,  // the device did not confirm the image
    DeviceSilent,      // checks in a row went unanswered
    DeviceAnswering,   // the device answers again
};

struct TNote {
    TNoteKind Kind;
    std::uint64_t Value = 0;
    std::string Text;
};

enum class TLocateResult {
    Found,     // exactly one connected Wi-Fi adapter on the device network
    NotFound,  // none
    Multiple,  // more than one
};

// Progress of a file or image transfer.
struct TTransferProgress {
    bool Start = false;         // a transfer begins: Max is set, Position is 0
    std::int64_t Max = 0;       // the gauge's maximum for this transfer
    std::int64_t Position = 0;  // bytes counted so far
    bool Milestone = false;     // the piece began at a multiple of 64 KiB: worth showing at once
};

class IDeviceObserver {
  public:
    virtual ~IDeviceObserver() = default;
    // One diagnostic line.
    virtual void OnTrace(const std::string&) {}
    virtual void OnNote(const TNote&) {}
    virtual void OnLocated(TLocateResult) {}
    // An accepted information reply, decoded; forThisDevice is false when it reports another
    // address than the one asked, and then only the model counts.
    virtual void OnInfoDecoded(const TDeviceInfo&, bool /*forThisDevice*/) {}
    // The output and input states changed (masked by what the identified model has).
    virtual void OnStatesChanged(std::uint8_t /*output*/, std::uint8_t /*input*/) {}
    virtual void OnStatusDecoded(const TDeviceStatus&) {}
    virtual void OnTransfer(const TTransferProgress&) {}
    // The connection broke after it was made: Text is the system's.
    virtual void OnSocketError(const std::string&) {}
    // A step of the host-network survey failed.
    virtual void OnSurveyError(const std::string&) {}
};

}  // namespace kstbell
