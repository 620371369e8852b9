#include "sim/reply_plan.h"

#include <algorithm>

namespace kstbell::sim {

namespace {

constexpr std::uint8_t kReplyFiller = 0xEE;  // what lengthened replies are padded with

}  // namespace

std::chrono::milliseconds TReplyPlan::Schedule() const {
    const std::size_t rest = Bytes.size() - std::min(FirstPiece, Bytes.size());
    const std::size_t laterPieces = LaterPiece == 0 ? 0 : (rest + LaterPiece - 1) / LaterPiece;
    return Delay + Gap * static_cast<long>(laterPieces);
}

TReplyPlan PlanReply(std::vector<std::uint8_t> reply, const TSimFaults& faults) {
    TReplyPlan plan;
    if (faults.WrongMagic) std::fill_n(reply.begin(), std::min<std::size_t>(4, reply.size()), 0);
    if (reply.size() < faults.PadReplyTo) reply.resize(faults.PadReplyTo, kReplyFiller);
    plan.Delay = std::chrono::milliseconds(std::max(faults.ReplyDelayMs, 0));
    const std::size_t half = reply.size() / 2;
    if (faults.ResetMidReply) {
        reply.resize(half);
        plan.ResetAfter = true;
    } else if (faults.CutReplyAfter >= 0) {
        reply.resize(std::min(reply.size(), static_cast<std::size_t>(faults.CutReplyAfter)));
    } else if (faults.TrickleGapMs > 0) {
        plan.FirstPiece = 1;
        plan.LaterPiece = 1;
        plan.Gap = std::chrono::milliseconds(faults.TrickleGapMs);
    } else if (faults.SplitReplyGapMs > 0) {
        plan.FirstPiece = half;
        plan.LaterPiece = reply.size() - half;
        plan.Gap = std::chrono::milliseconds(faults.SplitReplyGapMs);
    }
    if (plan.FirstPiece == 0) plan.FirstPiece = reply.size();
    plan.Bytes = std::move(reply);
    return plan;
}

}  // namespace kstbell::sim
