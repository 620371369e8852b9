#pragma once

// How the reply fault switches shape a reply on the wire: which bytes go out, in what pieces,
// how far apart, and how the connection ends. Pure, so that the event loop only follows it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/sim_faults.h"

namespace kstbell::sim {

struct TReplyPlan {
    std::vector<std::uint8_t> Bytes;     // everything that goes out, already cut or altered
    std::chrono::milliseconds Delay{0};  // before the first piece
    std::size_t FirstPiece = 0;          // bytes in the first piece
    std::size_t LaterPiece = 0;          // bytes in each piece after it
    std::chrono::milliseconds Gap{0};    // between pieces
    bool ResetAfter = false;             // end with a reset instead of an orderly close

    // How long following the plan takes when the client reads at once.
    std::chrono::milliseconds Schedule() const;
};

TReplyPlan PlanReply(std::vector<std::uint8_t> reply, const TSimFaults& faults);

}  // namespace kstbell::sim
