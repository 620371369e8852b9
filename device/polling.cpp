#include <algorithm>
#include <string>

#include "device/locate.h"
#include "device/session.h"

namespace kstbell {

namespace {

// Every 31st tick is a check: locate, then ask for what is missing.
constexpr std::uint8_t kCheckTick = 30;

// After two checks in a row whose request got no answer, the device is silent; the next
// answer ends that. Only an unanswered request counts: a connection that failed says nothing
// about whether the device would answer.
void NoteCheckOutcome(TDeviceSession& s) {
    switch (s.Link.LastOutcome) {
        case TTransactionOutcome::NoReply:
            s.Poll.Presence.Missed();
            if (!s.Poll.Presence.Online()) Note(s, TNoteKind::DeviceSilent);
            break;
        case TTransactionOutcome::Replied:
        case TTransactionOutcome::Refused:
            s.Poll.Presence.Answered();
            Note(s, TNoteKind::DeviceAnswering);
            break;
        default:
            break;
    }
}

void CheckTick(TDeviceSession& s) {
    if (LocateDevice(s) != 1) return;
    // A transaction that another operation started is still under way: nothing goes out now.
    if (s.Link.LinkBusy) return;
    if (!s.Flags.DeviceInfoValid) {
        Trace(s, "Re-Get Device..");
        RequestDeviceInfo(s);
        NoteCheckOutcome(s);
    } else if (s.Poll.PollEnabled) {
        if (s.Link.PendingCode != 0) {
            s.Link.PendingCode = 0;  // the last request got no handled answer
        } else {
            RequestStatus(s);
            NoteCheckOutcome(s);
        }
    }
}

// Sends the queued request. The slot is emptied before the transaction, so a request that
// the reply handler queues again (a refused find-me, say) survives for the next tick. While
// another transaction runs, the request stays queued for a later tick.
void SendQueued(TDeviceSession& s) {
    auto& poll = s.Poll;
    if (s.Link.LinkBusy) return;
    const std::uint8_t code = poll.QueuedCode;
    poll.QueuedCode = 0;
    Trace(s, "GBL => " + std::to_string(code));
    s.Link.PendingCode = code;
    s.Link.Request[4] = code;
    std::copy(poll.QueuedParams.begin(), poll.QueuedParams.end(), &s.Link.Request[5]);
    RunTransaction(s, 9);
    // Held by another program's transfer: the request waits for a later tick.
    if (s.Link.LastOutcome == TTransactionOutcome::HeldElsewhere) poll.QueuedCode = code;
    poll.TickCount = 0;
}

}  // namespace

void PollTick(TDeviceSession& s) {
    // A horn that another program holds for a transfer is not waited for: the tick is skipped.
    TPollScope polling(s);
    auto& poll = s.Poll;
    if (poll.TickCount >= kCheckTick) {
        CheckTick(s);
        poll.TickCount = 0;
        return;
    }
    ++poll.TickCount;
    if (poll.QueuedCode != 0) SendQueued(s);
}

void QueueFindMe(TDeviceSession& s) {
    s.Link.PendingCode = CMD_SET_LOCATOR;
    s.Link.Request[4] = CMD_SET_LOCATOR;
    s.Poll.QueuedCode = CMD_SET_LOCATOR;
}

TOutcome QueueDeviceInfo(TDeviceSession& s) {
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    auto& link = s.Link;
    link.PendingCode = CMD_GET_DEVICE_INFO;
    link.Request[4] = CMD_GET_DEVICE_INFO;
    link.Request[5] = 0;
    link.Request[6] = 0;
    s.Poll.QueuedParams[0] = 0;
    s.Poll.QueuedParams[1] = 0;
    s.Poll.QueuedCode = CMD_GET_DEVICE_INFO;
    return {};
}

}  // namespace kstbell
