#include "device/session.h"

namespace kstbell {

namespace {

bool Accepted(const TReplyFrame& reply) {
    return reply[5] == STATUS_ACK;
}

// The awaited answer came: nothing is pending any more, and the observers hear of it.
void Acknowledge(TDeviceSession& s, TNoteKind kind, std::uint64_t value = 0) {
    s.Link.PendingCode = 0;
    Note(s, kind, value);
}

// Output, input, signal strength and armed state of a status reply.
void DecodeStatus(TDeviceSession& s) {
    const TDeviceStatus status = DecodeStatusReply(s.Link.Reply);
    s.LastStatus = status;
    s.DeviceInfo.Armed = status.Armed;
    s.Tell([&](IDeviceObserver& o) { o.OnStatusDecoded(status); });
    SetStates(s, status.Output, status.Input);
    s.Link.PendingCode = 0;
}

// Compares the device's sum of the stored image with the sum of the image that was sent.
void CompareImageChecksum(TDeviceSession& s) {
    auto& link = s.Link;
    link.DeviceSum = link.Reply.U32(6);
    link.ChecksumCompared = true;
    link.ChecksumMatched =
        (s.ImageSum >> 32) == 0 && static_cast<std::uint32_t>(s.ImageSum) == link.DeviceSum;
    Note(s, link.ChecksumMatched ? TNoteKind::ChecksumMatch : TNoteKind::ChecksumMismatch);
    // The reset cannot go out while this transaction still holds the link.
    if (link.ChecksumMatched) link.ResetAfterTransaction = true;
}

}  // namespace

void SetStates(TDeviceSession& s, std::uint8_t output, std::uint8_t input) {
    s.OutputState = output & static_cast<std::uint8_t>(s.Flags.HasOutput ? 1 : 0);
    s.InputState = input & static_cast<std::uint8_t>(s.Flags.HasInput ? 1 : 0);
    s.Tell([&](IDeviceObserver& o) { o.OnStatesChanged(s.OutputState, s.InputState); });
}

void ClearShownState(TDeviceSession& s) {
    s.Flags.DeviceInfoShown = false;
    SetStates(s, 0, 0);
}

void DispatchReply(TDeviceSession& s, std::size_t count) {
    if (count == 0) return;
    auto& link = s.Link;
    const auto& reply = link.Reply;
    if (!reply.HasMagic()) {
        Note(s, TNoteKind::InvalidHeader);
        return;
    }
    // A reply is taken as the answer to the pending command only when it names that command;
    // any other is treated as unsolicited: only an accepted status is applied.
    if (link.PendingCode == 0 || reply[4] != link.PendingCode) {
        if (reply[4] == CMD_GET_STATUS && Accepted(reply)) DecodeStatus(s);
        return;
    }
    const bool accepted = Accepted(reply);
    switch (link.PendingCode) {
        case CMD_SET_LOCATOR:
            accepted ? Acknowledge(s, TNoteKind::LocatorDone) : RetryPending(s);
            break;
        case CMD_GET_DEVICE_INFO:
            accepted ? DecodeDeviceInfo(s) : RetryPending(s);
            break;
        case CMD_M4_RESET:
            accepted ? Acknowledge(s, TNoteKind::ResetExecuted) : RetryPending(s);
            break;
        case CMD_GET_IMAGE_CHECKSUM:
            if (accepted) CompareImageChecksum(s);
            link.PendingCode = 0;
            break;
        case CMD_KILL_FILE:
            if (accepted) Acknowledge(s, TNoteKind::FileKilled);
            break;
        case CMD_KILL_CONFIG:
            if (accepted) Acknowledge(s, TNoteKind::ConfigKilled);
            break;
        case CMD_SET_DO:
            if (accepted) {
                SetStates(s, reply[6], reply[7]);
                Acknowledge(s, TNoteKind::OutputSet, s.InputState);
            }
            break;
        case CMD_GET_STATUS:
            if (accepted) DecodeStatus(s);
            break;
        default:
            break;  // no handling: the code stays pending until the polling check clears it
    }
}

}  // namespace kstbell
