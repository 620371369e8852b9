#include <algorithm>
#include <optional>
#include <span>
#include <string>

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

// Waits for more of the reply within what is left of the 100 polls. True when input is
// waiting; the poll that runs out the budget counts the reply as missing even when data
// arrived during it. A socket error ends the wait and is returned through error.
bool AwaitInput(TContext& ctx, int& polls, std::optional<TNetResult>& error) {
    for (; polls < kReplyPolls; ++polls) {
        if (ctx.Tcp.HasBufferedInput()) return true;
        TNetResult r = ctx.Tcp.WaitForInput(kReplyPollMs);
        if (r.Status == TNetStatus::Failed) {
            error = r;
            return false;
        }
    }
    return false;
}

// True when the bytes read so far are a whole reply to the request sent: a frame with
// another magic, code or status than an accepted answer is whole at its status byte (a wrong
// magic already at four bytes); an accepted answer when its layout is complete.
bool ReplyComplete(const TReplyFrame& reply, std::size_t count, std::uint8_t sentCode) {
    if (count >= FrameMagic.size() && !reply.HasMagic()) return true;
    if (count < 6) return false;
    if (reply[4] != sentCode || reply[5] != STATUS_ACK) return true;
    return count >= ReplyLayoutLength(sentCode);
}

// Reads the reply, in as many pieces as it arrives in, until the device closes the connection
// or the reply is whole, within the reply wait. True when it is whole.
bool ReadReply(TContext& ctx, std::size_t& count, std::optional<TNetResult>& error) {
    auto& link = ctx.Link;
    count = 0;
    int polls = 0;
    while (AwaitInput(ctx, polls, error)) {
        std::size_t got = 0;
        const auto room = std::span(link.Reply.Bytes).subspan(count);
        TNetResult read = ctx.Tcp.ReadAvailable(room, got);
        count += got;
        if (read.Status == TNetStatus::Failed) {
            error = read;
            return false;
        }
        if (ReplyComplete(link.Reply, count, link.SentCode)) return true;
        if (read.Status == TNetStatus::Closed || count == link.Reply.Bytes.size()) return false;
    }
    return false;
}

// Hands a whole reply to the dispatcher when it answers the request that was sent; a reply
// that names another command is nobody's answer and counts as none.
TTransactionOutcome Answered(TContext& ctx, std::size_t count) {
    auto& link = ctx.Link;
    const auto& reply = link.Reply;
    if (reply.HasMagic() && reply[4] != link.SentCode) {
        Trace(ctx, "Reply for another command => " + std::to_string(reply[4]));
        return TTransactionOutcome::NoReply;
    }
    DispatchReply(ctx, count);
    if (!reply.HasMagic()) return TTransactionOutcome::NoReply;
    link.ReplyStatus = reply[5];
    return reply[5] == STATUS_ACK ? TTransactionOutcome::Replied : TTransactionOutcome::Refused;
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

// Work that must not run inside the transaction that asked for it. The caller still learns
// how its own transaction ended.
void RunDeferredActions(TContext& ctx) {
    auto& link = ctx.Link;
    if (link.ResetAfterTransaction) {
        link.ResetAfterTransaction = false;
        const TTransactionOutcome outcome = link.LastOutcome;
        const std::string error = link.LastError;
        RequestReset(ctx);
        link.LastOutcome = outcome;
        link.LastError = error;
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

std::size_t ReplyLayoutLength(std::uint8_t code) {
    switch (code) {
        case CMD_GET_DEVICE_INFO:
            return 199;  // through the armed state at 198
        case CMD_GET_STATUS:
            return 13;  // through the armed state at 12
        case CMD_GET_IMAGE_CHECKSUM:
            return 10;  // the sum at 6 to 9
        case CMD_SET_DO:
            return 8;  // output and input at 6 and 7
        default:
            return 6;  // the status byte
    }
}

void RunTransaction(TContext& ctx, std::uint8_t length) {
    auto& link = ctx.Link;
    if (!LinkFree(link)) return;
    std::optional<TNetResult> socketError;
    auto outcome = TTransactionOutcome::NoReply;
    {
        TLinkHold busy(ctx);
        if (!ConnectToDevice(ctx)) return;
        std::fill_n(link.Reply.Bytes.begin(), kReplyClearSize, std::uint8_t{0});
        CopyMagic(link.Request);
        length = ApplyQueuedParams(ctx, length);
        link.SentCode = link.Request[4];
        TNetResult written = ctx.Tcp.Write({link.Request.Bytes.data(), length});
        std::size_t count = 0;
        if (!written.Ok()) {
            socketError = written;
        } else if (ReadReply(ctx, count, socketError)) {
            ctx.Tcp.Disconnect();
            outcome = Answered(ctx, count);
        }
        link.ReplyLength = count;
    }
    Finish(ctx, outcome, socketError);
    RunDeferredActions(ctx);
}

void SendOnly(TContext& ctx, std::uint8_t length) {
    auto& link = ctx.Link;
    if (!LinkFree(link)) return;
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
