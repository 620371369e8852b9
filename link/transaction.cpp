#include <algorithm>
#include <optional>

#include "link/device_link.h"

namespace kstbell {

namespace {

constexpr const char* kConnectTimeoutText = "Connect Timeout";

// Connects to the device; on failure reports "Connect Timeout" and forgets the pending code.
bool ConnectToDevice(TContext& ctx) {
    auto& link = ctx.Link;
    ctx.Tcp.SetHost(link.DeviceIp, link.DevicePort);
    const TNetResult connected = ctx.Tcp.Connect(kConnectTimeoutMs);
    if (!connected.Ok()) {
        ctx.Tcp.Disconnect();
        link.LastOutcome = TTransactionOutcome::ConnectFailed;
        link.LastError = connected.Message;
        ShowStatus(ctx, kConnectTimeoutText);
        link.PendingCode = 0;
        return false;
    }
    auto& panel = ctx.Form1.StatusBar2.Panels[0];
    if (panel == kConnectTimeoutText) panel.clear();
    return true;
}

void CopyMagic(TRequestFrame& request) {
    std::copy(FrameMagic.begin(), FrameMagic.end(), request.Bytes.begin());
}

// A sender that ran while this transaction was connecting may have replaced a 5-byte request
// with one of the queued commands; those go out with their first two queued parameters.
std::uint8_t ApplyQueuedParams(TContext& ctx, std::uint8_t length) {
    auto& request = ctx.Link.Request;
    const std::uint8_t code = request[4];
    const bool queuedKind =
        code == CMD_SET_DO || code == CMD_SET_LOCATOR || code == CMD_GET_DEVICE_INFO;
    if (!queuedKind || length != 5) return length;
    request[5] = ctx.Poll.QueuedParams[0];
    request[6] = ctx.Poll.QueuedParams[1];
    return 7;
}

// Polls up to 100 times for the reply. True when input is waiting before the polls run out.
// A socket error ends the wait and is returned through error.
bool AwaitReply(TContext& ctx, std::optional<TNetResult>& error) {
    for (int poll = 0; poll < kReplyPolls; ++poll) {
        if (ctx.Tcp.HasBufferedInput()) return true;
        TNetResult r = ctx.Tcp.WaitForInput(kReplyPollMs);
        if (r.Status == TNetStatus::Failed) {
            error = r;
            return false;
        }
    }
    return false;
}

std::string SocketErrorText(const TNetResult& r) {
    return r.Message.empty() ? std::string("Socket error") : r.Message;
}

// Records how the routine ended and reports a socket error; the box runs its own event loop,
// and the link is free again by now.
void Finish(TContext& ctx, TTransactionOutcome outcome, const std::optional<TNetResult>& error) {
    ctx.Link.LastOutcome = error ? TTransactionOutcome::SocketError : outcome;
    ctx.Link.LastError = error ? SocketErrorText(*error) : std::string();
    if (error) ShowErrorBox(ctx.Host, ctx.Link.LastError);
}

// Work that must not run inside the transaction that asked for it.
void RunDeferredActions(TContext& ctx) {
    if (ctx.Link.ResetAfterTransaction) {
        ctx.Link.ResetAfterTransaction = false;
        RequestReset(ctx);
    }
}

}  // namespace

TLinkHold::TLinkHold(TContext& ctx) : ctx_(ctx) {
    ctx_.Link.LinkBusy = true;
}

TLinkHold::~TLinkHold() {
    ctx_.Tcp.Disconnect();
    ctx_.Link.LinkBusy = false;
}

void ShowStatus(TContext& ctx, std::string text) {
    ctx.Form1.StatusBar2.Panels[0] = std::move(text);
}

void Trace(TContext& ctx, std::string line) {
    ctx.Form1.Memo1.push_back(std::move(line));
}

void RunTransaction(TContext& ctx, std::uint8_t length) {
    auto& link = ctx.Link;
    if (link.LinkBusy) {
        link.LastOutcome = TTransactionOutcome::Dropped;
        return;
    }
    std::optional<TNetResult> socketError;
    auto outcome = TTransactionOutcome::NoReply;
    {
        TLinkHold busy(ctx);
        if (!ConnectToDevice(ctx)) return;
        std::fill_n(link.Reply.Bytes.begin(), kReplyClearSize, std::uint8_t{0});
        CopyMagic(link.Request);
        length = ApplyQueuedParams(ctx, length);
        TNetResult written = ctx.Tcp.Write({link.Request.Bytes.data(), length});
        if (!written.Ok()) {
            socketError = written;
        } else if (AwaitReply(ctx, socketError)) {
            std::size_t count = 0;
            TNetResult read = ctx.Tcp.ReadAvailable(link.Reply.Bytes, count);
            ctx.Tcp.Disconnect();
            if (read.Status == TNetStatus::Failed) {
                socketError = read;
            } else {
                link.ReplyLength = count;
                if (count > 0) {
                    outcome = TTransactionOutcome::Replied;
                    DispatchReply(ctx, count);
                }
            }
        }
    }
    Finish(ctx, outcome, socketError);
    RunDeferredActions(ctx);
}

void SendOnly(TContext& ctx, std::uint8_t length) {
    auto& link = ctx.Link;
    if (link.LinkBusy) {
        link.LastOutcome = TTransactionOutcome::Dropped;
        return;
    }
    std::optional<TNetResult> socketError;
    {
        TLinkHold busy(ctx);
        if (!ConnectToDevice(ctx)) return;
        CopyMagic(link.Request);
        TNetResult written = ctx.Tcp.Write({link.Request.Bytes.data(), length});
        if (!written.Ok()) socketError = written;
    }
    Finish(ctx, TTransactionOutcome::Sent, socketError);
}

}  // namespace kstbell
