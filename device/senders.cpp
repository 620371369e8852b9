#include "device/locate.h"
#include "device/session.h"

namespace kstbell {

namespace {

// Records the code whose answer is awaited and puts it in the request.
void Prepare(TDeviceSession& s, std::uint8_t code) {
    s.Link.PendingCode = code;
    s.Link.Request[4] = code;
}

void PrepareChecksum(TDeviceSession& s, std::uint8_t code, std::uint32_t sum) {
    Prepare(s, code);
    PutU32(s.Link.Request, 5, sum);
}

}  // namespace

TOutcome RequestDeviceInfo(TDeviceSession& s) {
    if (LinkFree(s.Link)) {
        Prepare(s, CMD_GET_DEVICE_INFO);
        s.Link.Request[5] = 0;
        s.Link.Request[6] = 0;
        RunTransaction(s, 7);
    }
    return LinkOutcome(s, CMD_GET_DEVICE_INFO);
}

TOutcome RequestStatus(TDeviceSession& s) {
    if (LinkFree(s.Link)) {
        Prepare(s, CMD_GET_STATUS);
        RunTransaction(s, 5);
    }
    return LinkOutcome(s, CMD_GET_STATUS);
}

TOutcome RequestReset(TDeviceSession& s) {
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    if (LinkFree(s.Link)) {
        Prepare(s, CMD_M4_RESET);
        SendOnly(s, 5);
    }
    return LinkOutcome(s, CMD_M4_RESET);
}

TOutcome RequestImageChecksum(TDeviceSession& s, std::uint32_t sum) {
    if (LinkFree(s.Link)) {
        s.Link.ChecksumCompared = false;
        PrepareChecksum(s, CMD_GET_IMAGE_CHECKSUM, sum);
        RunTransaction(s, 9);
    }
    return LinkOutcome(s, CMD_GET_IMAGE_CHECKSUM);
}

TOutcome FindMe(TDeviceSession& s) {
    if (LinkFree(s.Link)) {
        Prepare(s, CMD_SET_LOCATOR);
        PutU32(s.Link.Request, 5, 0);
        RunTransaction(s, 9);
    }
    return LinkOutcome(s, CMD_SET_LOCATOR);
}

TOutcome NotifyImageChecksum(TDeviceSession& s, std::uint32_t sum) {
    if (LinkFree(s.Link)) {
        PrepareChecksum(s, CMD_IMAGE_CHECKSUM_NOTIFY, sum);
        SendOnly(s, 9);
    }
    return LinkOutcome(s, CMD_IMAGE_CHECKSUM_NOTIFY);
}

void RetryPending(TDeviceSession& s) {
    switch (s.Link.PendingCode) {
        case CMD_SET_LOCATOR:
            QueueFindMe(s);
            break;
        case CMD_GET_DEVICE_INFO:
            QueueDeviceInfo(s);
            break;
        case CMD_M4_RESET:
            RequestReset(s);
            break;
        default:
            break;
    }
}

}  // namespace kstbell
