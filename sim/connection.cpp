#include "sim/connection.h"

#include <algorithm>
#include <array>

#include "sim/event_poller.h"
#include "sim/socket_io.h"

namespace kstbell::sim {

namespace {

using std::chrono::milliseconds;

// Longer than any request, so that one read takes a whole request with whatever follows it.
constexpr std::size_t kRequestBytes = 512;
constexpr std::size_t kDataChunk = 64 * 1024;
constexpr milliseconds kDrainIdle{1000};   // after the reply: wait this long for the close
constexpr milliseconds kDrainTotal{2000};  // and never longer than this in all

milliseconds TransferTime(std::size_t bytes) {
    return kTransferGrace + milliseconds(bytes * 1000 / kSlowestRate);
}

}  // namespace

TConnection::TConnection(TUniqueFd fd, std::uint32_t peer, THorn& horn)
    : fd_(std::move(fd)), peer_(peer), horn_(horn) {}

bool TConnection::Serving() const {
    return phase_ != EPhase::Drain && phase_ != EPhase::Done;
}

bool TConnection::Busy() const {
    return phase_ == EPhase::Request || phase_ == EPhase::Reply || phase_ == EPhase::Data ||
           phase_ == EPhase::Stall;
}

unsigned TConnection::Interest() const {
    switch (phase_) {
        case EPhase::Request:
        case EPhase::Hold:
        case EPhase::Data:
        case EPhase::Drain:
            return InterestRead;
        case EPhase::Reply:
            return sent_ < allowed_ ? InterestWrite : InterestNone;
        default:
            return InterestNone;
    }
}

std::optional<TSimClock::time_point> TConnection::WakeAt() const {
    switch (phase_) {
        case EPhase::Request:
        case EPhase::Data:
        case EPhase::Stall:
            return deadline_;
        case EPhase::Reply:
            return nextPieceAt_ ? std::min(*nextPieceAt_, deadline_) : deadline_;
        case EPhase::Drain:
            return std::min(idleUntil_, deadline_);
        default:
            return std::nullopt;
    }
}

void TConnection::Begin(TSimClock::time_point now) {
    if (auto upload = horn_.TakeUpload(peer_, now)) {
        StartData(std::move(*upload), now);
        return;
    }
    phase_ = EPhase::Request;
    deadline_ = now + kRequestWithin;
}

void TConnection::OnReadable(TSimClock::time_point now) {
    switch (phase_) {
        case EPhase::Request: {
            const std::size_t before = in_.size();
            in_.resize(kRequestBytes);
            const TIoResult got = ReceiveSome(fd_.Get(), std::span(in_).subspan(before));
            in_.resize(before + got.Bytes);
            if (got.Status == EIo::WouldBlock) return;
            if (got.Status == EIo::Failed) {
                End(false);
                return;
            }
            if (got.Status == EIo::Closed || in_.size() == kRequestBytes ||
                CheckFrame(in_).State != EFrameState::NeedMore) {
                ConcludeRequest(now);
            }
            return;
        }
        case EPhase::Data:
            ReadData(now);
            return;
        case EPhase::Hold:
            Discard();
            return;
        case EPhase::Drain:
            Discard();
            if (phase_ == EPhase::Drain) idleUntil_ = now + kDrainIdle;
            return;
        default:
            return;
    }
}

void TConnection::OnWritable(TSimClock::time_point now) {
    if (phase_ == EPhase::Reply) SendPieces(now);
}

void TConnection::OnTime(TSimClock::time_point now) {
    switch (phase_) {
        case EPhase::Request:
            if (in_.empty()) {
                horn_.Log().Line("no request within " + std::to_string(kRequestWithin.count()) +
                                 " ms, connection closed");
            } else {
                horn_.Log().Line("request incomplete after " +
                                 std::to_string(kRequestWithin.count()) +
                                 " ms, connection closed: " + FormatBytes(in_));
                horn_.Record(in_, false);
            }
            End(false);
            return;
        case EPhase::Reply:
            if (now >= deadline_) {
                horn_.Log().Line("reply not taken in time, connection reset");
                End(true);
            } else if (nextPieceAt_ && now >= *nextPieceAt_) {
                ReleasePiece(now);
            }
            return;
        case EPhase::Data:
            BreakOffData("too slow, cut off", true);
            return;
        case EPhase::Stall:
            BreakOffData("stalled, then reset", true);
            return;
        case EPhase::Drain:
            End(false);
            return;
        default:
            return;
    }
}

void TConnection::ConcludeRequest(TSimClock::time_point now) {
    if (in_.empty()) {
        horn_.Log().Line("connection closed without a request");
        End(false);
        return;
    }
    const TParseOutcome outcome = ParseRequest(in_);
    horn_.Record(outcome.Request ? std::span<const std::uint8_t>(outcome.Request->Bytes)
                                 : std::span<const std::uint8_t>(in_),
                 false);
    std::optional<std::vector<std::uint8_t>> reply;
    if (outcome.Error) {
        switch (*outcome.Error) {
            case EParseError::WrongMagic:
                horn_.Log().Line("wrong magic, request dropped: " + FormatBytes(in_));
                Finish(now);
                return;
            case EParseError::Short:
                horn_.Log().Line("short request dropped: " + FormatBytes(in_));
                Finish(now);
                return;
            case EParseError::UnknownCode:
                horn_.Log().Line("unknown code " + FormatCode(in_[4]) + ": " + FormatBytes(in_));
                reply = StatusReply(in_[4], kStatusNak);
                break;
        }
    } else {
        horn_.Log().Line("request " + FormatCode(outcome.Request->Code) + ": " +
                         FormatBytes(outcome.Request->Bytes));
    }
    in_ = {};
    if (horn_.Faults().NeverAnswer) {
        horn_.Log().Line("holding the connection without an answer");
        phase_ = EPhase::Hold;
        return;
    }
    if (outcome.Request) reply = horn_.Execute(*outcome.Request, peer_);
    if (reply) {
        StartReply(std::move(*reply), now);
    } else {
        Finish(now);
    }
}

void TConnection::StartReply(std::vector<std::uint8_t> reply, TSimClock::time_point now) {
    plan_ = PlanReply(std::move(reply), horn_.Faults());
    phase_ = EPhase::Reply;
    deadline_ = now + plan_.Schedule() + TransferTime(plan_.Bytes.size());
    nextPieceAt_ = now + plan_.Delay;
    if (plan_.Delay.count() == 0) ReleasePiece(now);
}

void TConnection::ReleasePiece(TSimClock::time_point now) {
    nextPieceAt_.reset();
    allowed_ = std::min(plan_.Bytes.size(),
                        allowed_ + (allowed_ == 0 ? plan_.FirstPiece : plan_.LaterPiece));
    SendPieces(now);
}

void TConnection::SendPieces(TSimClock::time_point now) {
    while (sent_ < allowed_) {
        const TIoResult put =
            SendSome(fd_.Get(), std::span(plan_.Bytes).subspan(sent_, allowed_ - sent_));
        if (put.Status == EIo::WouldBlock) return;
        if (put.Status != EIo::Done) {
            // The client has gone; that is no error for the device.
            End(false);
            return;
        }
        sent_ += put.Bytes;
    }
    if (sent_ < plan_.Bytes.size()) {
        nextPieceAt_ = now + plan_.Gap;
    } else if (plan_.ResetAfter) {
        End(true);
    } else {
        Finish(now);
    }
}

void TConnection::StartData(TPendingUpload upload, TSimClock::time_point now) {
    const TSimFaults& faults = horn_.Faults();
    upload_ = std::move(upload);
    if (faults.StallDataMs > 0) {
        phase_ = EPhase::Stall;
        deadline_ = now + milliseconds(faults.StallDataMs);
        return;
    }
    phase_ = EPhase::Data;
    deadline_ = now + TransferTime(upload_->Length);
    in_.reserve(std::min<std::size_t>(upload_->Length, kDataChunk));
    if (upload_->Length == 0) {
        CompleteData(now);
    } else if (faults.ResetDataAfter == 0) {
        BreakOffData("reset", true);
    }
}

void TConnection::ReadData(TSimClock::time_point now) {
    const int resetAfter = horn_.Faults().ResetDataAfter;
    std::size_t want = std::min<std::size_t>(kDataChunk, upload_->Length - in_.size());
    if (resetAfter >= 0) want = std::min(want, static_cast<std::size_t>(resetAfter) - in_.size());
    const std::size_t before = in_.size();
    in_.resize(before + want);
    const TIoResult got = ReceiveSome(fd_.Get(), std::span(in_).subspan(before));
    in_.resize(before + got.Bytes);
    switch (got.Status) {
        case EIo::WouldBlock:
            return;
        case EIo::Closed:
            BreakOffData("ended", false);
            return;
        case EIo::Failed:
            BreakOffData("broke", false);
            return;
        case EIo::Done:
            break;
    }
    if (in_.size() == upload_->Length) {
        CompleteData(now);
    } else if (resetAfter >= 0 && in_.size() >= static_cast<std::size_t>(resetAfter)) {
        BreakOffData("reset", true);
    }
}

void TConnection::CompleteData(TSimClock::time_point now) {
    // Data that was not stored ends with a reset, so that a client still reading learns of it.
    if (horn_.FinishUpload(*upload_, std::move(in_))) {
        Finish(now);
    } else {
        End(true);
    }
    in_ = {};
}

void TConnection::BreakOffData(const char* how, bool reset) {
    horn_.AbandonUpload(*upload_, in_, how);
    in_ = {};
    End(reset);
}

// Ends the exchange in order: our side is done, then whatever the client still sends is read
// and dropped until it closes, so that unread bytes never turn the close into a reset.
void TConnection::Finish(TSimClock::time_point now) {
    ShutdownSending(fd_.Get());
    phase_ = EPhase::Drain;
    deadline_ = now + kDrainTotal;
    idleUntil_ = now + kDrainIdle;
}

void TConnection::Discard() {
    std::array<std::uint8_t, 4096> discard{};
    // Bounded, so that a client sending without pause cannot keep the loop here.
    for (int round = 0; round < 16; ++round) {
        const TIoResult got = ReceiveSome(fd_.Get(), discard);
        if (got.Status == EIo::WouldBlock) return;
        if (got.Status != EIo::Done) {
            End(false);
            return;
        }
    }
}

void TConnection::End(bool reset) {
    phase_ = EPhase::Done;
    resetOnClose_ = reset;
}

void TConnection::Abort(bool reset) {
    End(reset);
    Close();
}

void TConnection::Close() {
    if (resetOnClose_) {
        CloseWithReset(fd_);
    } else {
        fd_.Reset();
    }
}

}  // namespace kstbell::sim
