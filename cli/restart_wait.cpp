#include "cli/restart_wait.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kstbell::cli {

namespace {

using TClock = std::chrono::steady_clock;
constexpr int kRetryMs = 500;
constexpr int kSliceMs = 50;

bool Stopped(const TRunEnv& env) {
    return env.Stop && env.Stop->load();
}

// Sleeps until the deadline or an interrupt.
void SleepUntil(TClock::time_point until, const TRunEnv& env) {
    while (!Stopped(env)) {
        const auto now = TClock::now();
        if (now >= until) return;
        std::this_thread::sleep_for(
            std::min<TClock::duration>(until - now, std::chrono::milliseconds(kSliceMs)));
    }
}

}  // namespace

TOutcome WaitUntilBack(TDeviceSession& s, const TRunEnv& env, long& elapsedMs) {
    const auto start = TClock::now();
    const auto deadline = start + std::chrono::milliseconds(env.RestartLimitMs);
    const int connectTimeout = s.Link.ConnectTimeoutMs;
    SleepUntil(start + std::chrono::milliseconds(env.RestartGraceMs), env);
    TOutcome last{TOutcomeKind::Unreachable};
    while (!Stopped(env)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        if (left.count() <= 0) break;
        s.Link.ConnectTimeoutMs = std::clamp(static_cast<int>(left.count()), 1, connectTimeout);
        const auto attempt = TClock::now();
        last = RequestDeviceInfo(s);
        if (last.Ok()) break;
        SleepUntil(std::min(deadline, attempt + std::chrono::milliseconds(kRetryMs)), env);
    }
    s.Link.ConnectTimeoutMs = connectTimeout;
    elapsedMs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count());
    return last;
}

}  // namespace kstbell::cli
