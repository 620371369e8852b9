#include "device/host_hold.h"

#include <algorithm>
#include <string>
#include <utility>

#include "device/session.h"

namespace kstbell {

namespace {

constexpr const char* kTransferring = "another program on this PC is transferring to this horn";
constexpr const char* kInUse =
    "another program on this PC is transferring to or talking to this horn";

TOutcome WithMessage(TOutcomeKind kind, std::string message) {
    TOutcome o{kind};
    o.Message = std::move(message);
    return o;
}

// Takes a hold of the kind: one attempt for a poll, else attempts a slice apart for up to
// WaitMs, pumping events in between. A stop ends the wait, not the first attempt.
TOutcome Take(TDeviceSession& s, THoldKind kind, std::unique_ptr<IHostHold>& into) {
    auto& use = s.HostLock;
    const int slices = use.Polling ? 0 : std::max(use.WaitMs, 0) / kHostHoldSliceMs;
    const char* held = kind == THoldKind::Shared ? kTransferring : kInUse;
    for (int slice = 0;; ++slice) {
        THoldAttempt a = use.Locks->TryHold(s.Link.DeviceIp, s.Link.DevicePort, kind);
        if (a.Status == THoldAttempt::TStatus::Taken) {
            into = std::move(a.Hold);
            return {};
        }
        if (a.Status == THoldAttempt::TStatus::Unusable) {
            return WithMessage(
                TOutcomeKind::Unreachable,
                "the lock that keeps this PC's programs apart cannot be used: " + a.Problem);
        }
        if (slice >= slices) return WithMessage(TOutcomeKind::Busy, held);
        if (use.Stop && use.Stop->load())
            return WithMessage(TOutcomeKind::Cancelled, "the program is stopping");
        if (slice == 0) Trace(s, std::string("Waiting: ") + held);
        if (use.Pump) use.Pump->PumpEvents();
        s.Pause.Sleep(kHostHoldSliceMs);
    }
}

}  // namespace

TOutcome HoldForRequest(TDeviceSession& s, std::unique_ptr<IHostHold>& hold) {
    if (s.HostLock.Locks == nullptr || s.HostLock.Transfer) return {};
    TOutcome o = Take(s, THoldKind::Shared, hold);
    if (o.Kind == TOutcomeKind::Busy && s.HostLock.Polling) Trace(s, "Skipped: " + o.Message);
    return o;
}

TTransferHold::TTransferHold(TDeviceSession& s) : s_(s) {
    auto& use = s.HostLock;
    if (use.Locks == nullptr || use.Transfer) return;
    if (!LinkFree(s.Link)) {
        outcome_ = TOutcome{TOutcomeKind::Busy};
        return;
    }
    // Ticks and clicks that the wait's events bring find the link busy and send nothing.
    TLinkHold busy(s);
    std::unique_ptr<IHostHold> hold;
    outcome_ = Take(s, THoldKind::Exclusive, hold);
    if (!outcome_.Ok()) return;
    use.Transfer = std::move(hold);
    owner_ = true;
}

TTransferHold::~TTransferHold() {
    if (owner_) s_.HostLock.Transfer.reset();
}

TPollScope::TPollScope(TDeviceSession& s) : s_(s), was_(s.HostLock.Polling) {
    s.HostLock.Polling = true;
}

TPollScope::~TPollScope() {
    s_.HostLock.Polling = was_;
}

}  // namespace kstbell
