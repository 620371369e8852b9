#include <algorithm>

#include "link/device_link.h"
#include "locate/locate.h"

namespace kstbell {

namespace {

// Every 31st tick is a check: locate, then ask for what is missing.
constexpr std::uint8_t kCheckTick = 30;

// Keeps Timer3 off while its own handler runs, so a transaction that pumps events cannot
// re-enter the handler; it is on again on every way out.
class TTimerPause {
  public:
    explicit TTimerPause(TContext& ctx) : ctx_(ctx) { ctx_.Form1.Timer3Enabled = false; }
    ~TTimerPause() { ctx_.Form1.Timer3Enabled = true; }
    TTimerPause(const TTimerPause&) = delete;
    TTimerPause& operator=(const TTimerPause&) = delete;

  private:
    TContext& ctx_;
};

constexpr const char* kSilentText = "No reply from device";
constexpr std::uint8_t kMissedChecksShown = 2;

// After two checks in a row whose request got no answer, the device is shown as silent; the
// next answer brings back the headline and, with the reply, the signal strength.
void NoteCheckOutcome(TContext& ctx) {
    auto& missed = ctx.Poll.MissedChecks;
    auto& f = ctx.Form1;
    auto& panel = f.StatusBar2.Panels[0];
    switch (ctx.Link.LastOutcome) {
        case TTransactionOutcome::NoReply:
            if (missed < kMissedChecksShown) ++missed;
            if (missed == kMissedChecksShown) {
                panel = kSilentText;
                f.Label12.Caption = "RSSI:";
            }
            break;
        case TTransactionOutcome::Replied:
        case TTransactionOutcome::Refused:
            missed = 0;
            if (panel == kSilentText) panel = f.Label4.Caption;
            break;
        default:
            break;
    }
}

void CheckTick(TContext& ctx) {
    if (LocateDevice(ctx) != 1) return;
    // A transaction that another handler started is still under way: nothing goes out now.
    if (ctx.Link.LinkBusy) return;
    if (!ctx.Flags.DeviceInfoValid) {
        Trace(ctx, "Re-Get Device..");
        RequestDeviceInfo(ctx);
        NoteCheckOutcome(ctx);
    } else if (ctx.Poll.PollEnabled) {
        if (ctx.Link.PendingCode != 0) {
            ctx.Link.PendingCode = 0;  // the last request got no handled answer
        } else {
            RequestStatus(ctx);
            NoteCheckOutcome(ctx);
        }
    }
}

// Sends the queued request. The slot is emptied before the transaction, so a request that
// the reply handler queues again (a refused find-me, say) survives for the next tick. While
// another transaction runs, the request stays queued for a later tick.
void SendQueued(TContext& ctx) {
    auto& poll = ctx.Poll;
    if (ctx.Link.LinkBusy) return;
    const std::uint8_t code = poll.QueuedCode;
    poll.QueuedCode = 0;
    Trace(ctx, "GBL => " + std::to_string(code));
    ctx.Link.PendingCode = code;
    ctx.Link.Request[4] = code;
    std::copy(poll.QueuedParams.begin(), poll.QueuedParams.end(), &ctx.Link.Request[5]);
    RunTransaction(ctx, 9);
    poll.TickCount = 0;
}

}  // namespace

void Timer3Timer(TContext& ctx) {
    TTimerPause pause(ctx);
    auto& poll = ctx.Poll;
    if (poll.TickCount >= kCheckTick) {
        CheckTick(ctx);
        poll.TickCount = 0;
        return;
    }
    ++poll.TickCount;
    if (poll.QueuedCode != 0) SendQueued(ctx);
}

void QueueFindMe(TContext& ctx) {
    ctx.Link.PendingCode = CMD_SET_LOCATOR;
    ctx.Link.Request[4] = CMD_SET_LOCATOR;
    ctx.Poll.QueuedCode = CMD_SET_LOCATOR;
}

void QueueDeviceInfo(TContext& ctx) {
    if (LocateDevice(ctx) != 1) return;
    auto& link = ctx.Link;
    link.PendingCode = CMD_GET_DEVICE_INFO;
    link.Request[4] = CMD_GET_DEVICE_INFO;
    link.Request[5] = 0;
    link.Request[6] = 0;
    ctx.Poll.QueuedParams[0] = 0;
    ctx.Poll.QueuedParams[1] = 0;
    ctx.Poll.QueuedCode = CMD_GET_DEVICE_INFO;
}

}  // namespace kstbell
