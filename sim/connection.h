#pragma once

// One accepted connection of a simulated horn, as a state machine the event loop drives: read
// a request (or the data of an upload the same client announced), reply as the fault switches
// shape it, then end the exchange in order. Every phase has a deadline, so that no client holds
// its horn longer than its request or its announced data allow.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/horn.h"
#include "sim/reply_plan.h"
#include "sim/unique_fd.h"

namespace kstbell::sim {

// The whole request must arrive within this time of the accept.
inline constexpr std::chrono::milliseconds kRequestWithin{2000};
// A data phase, and the sending of a reply, may take this long plus the time its bytes need at
// kSlowestRate.
inline constexpr std::chrono::milliseconds kTransferGrace{2000};
inline constexpr std::uint64_t kSlowestRate = 64 * 1024;  // bytes per second

class TConnection {
  public:
    TConnection(TUniqueFd fd, std::uint32_t peer, THorn& horn);

    // Decides what the connection carries (a request, or the data of an upload this client
    // announced) and starts on it.
    void Begin(TSimClock::time_point now);
    void OnReadable(TSimClock::time_point now);
    void OnWritable(TSimClock::time_point now);
    // Called once the time of WakeAt has come.
    void OnTime(TSimClock::time_point now);

    // Ended: the owner stops watching the descriptor, then calls Close.
    bool Done() const { return phase_ == EPhase::Done; }
    void Close();
    // Closes at once, whatever the phase (the horn is switched off or the site stops).
    void Abort(bool reset);
    // Still being served: the horn takes no other connection meanwhile.
    bool Serving() const;
    // A request, a reply or a data phase under way (not merely waiting for the client to close).
    bool Busy() const;
    unsigned Interest() const;
    std::optional<TSimClock::time_point> WakeAt() const;
    TSocket Fd() const { return fd_.Get(); }

  private:
    enum class EPhase { Request, Reply, Hold, Data, Stall, Drain, Done };

    void ConcludeRequest(TSimClock::time_point now);
    void StartReply(std::vector<std::uint8_t> reply, TSimClock::time_point now);
    void ReleasePiece(TSimClock::time_point now);
    void SendPieces(TSimClock::time_point now);
    void StartData(TPendingUpload upload, TSimClock::time_point now);
    void ReadData(TSimClock::time_point now);
    void CompleteData(TSimClock::time_point now);
    void BreakOffData(const char* how, bool reset);
    void Finish(TSimClock::time_point now);
    void Discard();
    void End(bool reset);

    TUniqueFd fd_;
    std::uint32_t peer_;
    THorn& horn_;
    EPhase phase_ = EPhase::Request;
    bool resetOnClose_ = false;
    TSimClock::time_point deadline_;  // of the phase
    std::vector<std::uint8_t> in_;    // the request, or the upload's data

    TReplyPlan plan_;
    std::size_t allowed_ = 0;  // bytes released for sending so far
    std::size_t sent_ = 0;
    std::optional<TSimClock::time_point> nextPieceAt_;

    std::optional<TPendingUpload> upload_;
    TSimClock::time_point idleUntil_;  // draining: the client has gone quiet by then
};

}  // namespace kstbell::sim
