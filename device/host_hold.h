#pragma once

// How a session keeps its horn apart from the other kstbell programs on this PC: the horn takes
// the next connection after a file header as the file's data, so a file write or firmware
// upload holds the horn exclusively from its header to its last byte (and, for firmware, the
// byte-sum check), and every other request holds it shared. A request that finds the horn held
// for another program's transfer waits for it in slices that pump events, up to WaitMs; a poll
// does not wait but is skipped.

#include <atomic>
#include <memory>

#include "device/outcome.h"
#include "ports/host_locks.h"
#include "ports/host_ports.h"

namespace kstbell {

class TDeviceSession;

// How long a request or a transfer waits for another program's transfer to this horn (a
// firmware image takes some 20 s over a weak Wi-Fi link), and the slices the wait is made of.
inline constexpr int kHostHoldWaitMs = 60000;
inline constexpr int kHostHoldSliceMs = 50;

struct THostLocking {
    // The PC's locks; none: this session takes no locks.
    IHostLocks* Locks = nullptr;
    // Runs pending window events between the slices of a wait.
    IEventPump* Pump = nullptr;
    // Set when the program is stopping: a wait ends, the request cancelled.
    const std::atomic<bool>* Stop = nullptr;
    int WaitMs = kHostHoldWaitMs;

    // While a transfer runs: its exclusive hold, which the requests inside it use.
    std::unique_ptr<IHostHold> Transfer;
    // The running operation is a poll: a held horn skips it instead of being waited for.
    bool Polling = false;
};

// Takes the horn for one request, unless the session holds it for a transfer already or takes
// no locks. Busy (the message names the other program), Cancelled (the program stops) or
// Unreachable (the lock cannot be used, and why) when it was not taken; nothing may be sent then.
TOutcome HoldForRequest(TDeviceSession& s, std::unique_ptr<IHostHold>& hold);

// Holds the horn exclusively for a transfer while it lives, waiting for other programs' holds as
// a request does; the requests of the session meanwhile take no hold of their own. A transfer
// inside another of the same session uses the outer one's hold. Busy when the session's link is
// in use.
class TTransferHold {
  public:
    explicit TTransferHold(TDeviceSession& s);
    ~TTransferHold();
    TTransferHold(const TTransferHold&) = delete;
    TTransferHold& operator=(const TTransferHold&) = delete;

    // Done when the horn is held (or the session takes no locks); otherwise why not.
    const TOutcome& Outcome() const { return outcome_; }
    bool Held() const { return outcome_.Ok(); }

  private:
    TDeviceSession& s_;
    bool owner_ = false;
    TOutcome outcome_;
};

// Marks what runs while it lives as a poll.
class TPollScope {
  public:
    explicit TPollScope(TDeviceSession& s);
    ~TPollScope();
    TPollScope(const TPollScope&) = delete;
    TPollScope& operator=(const TPollScope&) = delete;

  private:
    TDeviceSession& s_;
    bool was_;
};

}  // namespace kstbell
