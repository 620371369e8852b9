#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "device/session.h"
#include "protocol/reply_layout.h"

namespace kstbell {

namespace {

// Connects to the device; on failure reports it and forgets the pending code.
bool ConnectToDevice(TDeviceSession& s) {
    auto& link = s.Link;
    s.Tcp.SetHost(link.DeviceIp, link.DevicePort);
    const TNetResult connected = s.Tcp.Connect(link.ConnectTimeoutMs);
    if (!connected.Ok()) {
        s.Tcp.Disconnect();
        link.LastOutcome = TTransactionOutcome::ConnectFailed;
        link.LastError = connected.Message;
        Note(s, TNoteKind::ConnectFailed);
        link.PendingCode = 0;
        return false;
    }
    Note(s, TNoteKind::Connected);
    return true;
}

// Takes the horn for this request against the other programs on this PC; when it cannot, records
// why (a lock that cannot be used counts as a failed connection) and forgets the pending code.
bool HoldHorn(TDeviceSession& s, std::unique_ptr<IHostHold>& hold) {
    const TOutcome held = HoldForRequest(s, hold);
    if (held.Ok()) return true;
    auto& link = s.Link;
    link.LastError = held.Message;
    link.PendingCode = 0;
    if (held.Kind == TOutcomeKind::Unreachable) {
        link.LastOutcome = TTransactionOutcome::ConnectFailed;
        Trace(s, held.Message);
        Note(s, TNoteKind::ConnectFailed);
    } else {
        link.LastOutcome = held.Kind == TOutcomeKind::Cancelled
                               ? TTransactionOutcome::Withdrawn
                               : TTransactionOutcome::HeldElsewhere;
    }
    return false;
}

void CopyMagic(TRequestFrame& request) {
    std::copy(FrameMagic.begin(), FrameMagic.end(), request.Bytes.begin());
}

// A sender that ran while this transaction was connecting may have replaced a 5-byte request
// with one of the queued commands; those go out with their first two queued parameters.
std::uint8_t ApplyQueuedParams(TDeviceSession& s, std::uint8_t length) {
    auto& request = s.Link.Request;
    const std::uint8_t code = request[4];
    const bool queuedKind =
        code == CMD_SET_DO || code == CMD_SET_LOCATOR || code == CMD_GET_DEVICE_INFO;
    if (!queuedKind || length != 5) return length;
    request[5] = s.Poll.QueuedParams[0];
    request[6] = s.Poll.QueuedParams[1];
    return 7;
}

// Waits for more of the reply within what is left of the 100 polls. True when input is
// waiting; the poll that runs out the budget counts the reply as missing even when data
// arrived during it. A socket error ends the wait and is returned through error. A client whose
// waits need not be sliced (no window) waits for all polls but the last in one piece, counted
// by the time it took, so that a horn that never answers wakes its thread twice, not 200 times.
bool AwaitInput(TDeviceSession& s, int& polls, std::optional<TNetResult>& error) {
    const int last = s.Link.ReplyPolls - 1;
    if (s.Tcp.WaitsWhole() && polls < last && !s.Tcp.HasBufferedInput()) {
        const auto start = std::chrono::steady_clock::now();
        TNetResult r = s.Tcp.WaitForInput((last - polls) * kReplyPollMs);
        if (r.Status == TNetStatus::Failed) {
            error = r;
            return false;
        }
        if (r.Ok()) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            polls = std::min(last,
                             polls + std::max(1, static_cast<int>(waited.count()) / kReplyPollMs));
            return true;
        }
        polls = last;
    }
    for (; polls < s.Link.ReplyPolls; ++polls) {
        if (s.Tcp.HasBufferedInput()) return true;
        TNetResult r = s.Tcp.WaitForInput(kReplyPollMs);
        if (r.Status == TNetStatus::Failed) {
            error = r;
            return false;
        }
    }
    return false;
}

// Reads the reply, in as many pieces as it arrives in, until the device closes the connection
// or the reply is whole, within the reply wait. True when it is whole.
bool ReadReply(TDeviceSession& s, std::size_t& count, std::optional<TNetResult>& error) {
    auto& link = s.Link;
    count = 0;
    int polls = 0;
    while (AwaitInput(s, polls, error)) {
        std::size_t got = 0;
        const auto room = std::span(link.Reply.Bytes).subspan(count);
        TNetResult read = s.Tcp.ReadAvailable(room, got);
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
TTransactionOutcome Answered(TDeviceSession& s, std::size_t count) {
    auto& link = s.Link;
    const auto& reply = link.Reply;
    if (reply.HasMagic() && reply[4] != link.SentCode) {
        Trace(s, "Reply for another command => " + std::to_string(reply[4]));
        return TTransactionOutcome::NoReply;
    }
    DispatchReply(s, count);
    if (!reply.HasMagic()) return TTransactionOutcome::NoReply;
    link.ReplyStatus = reply[5];
    return reply[5] == STATUS_ACK ? TTransactionOutcome::Replied : TTransactionOutcome::Refused;
}

std::string SocketErrorText(const TNetResult& r) {
    return r.Message.empty() ? std::string("Socket error") : r.Message;
}

// Records how the routine ended and reports a socket error; the link is free again by now, so
// whatever an observer does about it (a box with its own event loop) finds it free.
void Finish(TDeviceSession& s, TTransactionOutcome outcome,
            const std::optional<TNetResult>& error) {
    s.Link.LastOutcome = error ? TTransactionOutcome::SocketError : outcome;
    s.Link.LastError = error ? SocketErrorText(*error) : std::string();
    if (error) {
        const std::string text = s.Link.LastError;
        s.Tell([&](IDeviceObserver& o) { o.OnSocketError(text); });
    }
}

// Work that must not run inside the transaction that asked for it. The caller still learns
// how its own transaction ended.
void RunDeferredActions(TDeviceSession& s) {
    auto& link = s.Link;
    if (link.ResetAfterTransaction) {
        link.ResetAfterTransaction = false;
        const TTransactionOutcome outcome = link.LastOutcome;
        const std::string error = link.LastError;
        RequestReset(s);
        link.LastOutcome = outcome;
        link.LastError = error;
    }
}

}  // namespace

TLinkHold::TLinkHold(TDeviceSession& s) : s_(s) {
    s_.Link.LinkBusy = true;
}

TLinkHold::~TLinkHold() {
    s_.Tcp.Disconnect();
    s_.Link.LinkBusy = false;
}

void RunTransaction(TDeviceSession& s, std::uint8_t length) {
    auto& link = s.Link;
    if (!LinkFree(link)) return;
    std::optional<TNetResult> socketError;
    auto outcome = TTransactionOutcome::NoReply;
    {
        // Released after the connection is closed.
        std::unique_ptr<IHostHold> horn;
        TLinkHold busy(s);
        if (!HoldHorn(s, horn) || !ConnectToDevice(s)) return;
        std::fill_n(link.Reply.Bytes.begin(), kReplyClearSize, std::uint8_t{0});
        CopyMagic(link.Request);
        length = ApplyQueuedParams(s, length);
        link.SentCode = link.Request[4];
        TNetResult written = s.Tcp.Write({link.Request.Bytes.data(), length});
        std::size_t count = 0;
        if (!written.Ok()) {
            socketError = written;
        } else if (ReadReply(s, count, socketError)) {
            s.Tcp.Disconnect();
            outcome = Answered(s, count);
        }
        link.ReplyLength = count;
    }
    Finish(s, outcome, socketError);
    RunDeferredActions(s);
}

void SendOnly(TDeviceSession& s, std::uint8_t length) {
    auto& link = s.Link;
    if (!LinkFree(link)) return;
    std::optional<TNetResult> socketError;
    {
        std::unique_ptr<IHostHold> horn;
        TLinkHold busy(s);
        if (!HoldHorn(s, horn) || !ConnectToDevice(s)) return;
        CopyMagic(link.Request);
        link.SentCode = link.Request[4];
        TNetResult written = s.Tcp.Write({link.Request.Bytes.data(), length});
        if (!written.Ok()) socketError = written;
    }
    Finish(s, TTransactionOutcome::Sent, socketError);
}

TOutcome LinkOutcome(const TDeviceSession& s, std::uint8_t command) {
    const auto& link = s.Link;
    TOutcome o;
    o.Command = command;
    switch (link.LastOutcome) {
        case TTransactionOutcome::Dropped:
            o.Kind = TOutcomeKind::Busy;
            break;
        case TTransactionOutcome::ConnectFailed:
            o.Kind = TOutcomeKind::Unreachable;
            o.Message = link.LastError;
            break;
        case TTransactionOutcome::SocketError:
            o.Kind = TOutcomeKind::SocketError;
            o.Message = link.LastError;
            break;
        case TTransactionOutcome::Sent:
        case TTransactionOutcome::Replied:
            break;
        case TTransactionOutcome::NoReply:
            o.Kind = TOutcomeKind::NoReply;
            break;
        case TTransactionOutcome::Refused:
            o.Kind = TOutcomeKind::Refused;
            o.Status = link.ReplyStatus;
            break;
        case TTransactionOutcome::HeldElsewhere:
            o.Kind = TOutcomeKind::Busy;
            o.Message = link.LastError;
            break;
        case TTransactionOutcome::Withdrawn:
            o.Kind = TOutcomeKind::Cancelled;
            o.Message = link.LastError;
            break;
    }
    return o;
}

}  // namespace kstbell
