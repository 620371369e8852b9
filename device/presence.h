#pragma once

// Whether a device is answering, by one rule for every program: a device that has answered is
// offline after two requests in a row that got no answer, and online again at its next answer;
// a device not heard from yet is offline at its first unanswered request.

#include <cstdint>

namespace kstbell {

inline constexpr int kMissesForOffline = 2;

enum class TPresence { Unknown, Online, Offline };

enum class TPresenceChange { None, CameOnline, WentOffline };

class TPresenceTracker {
  public:
    TPresenceTracker() = default;
    // A tracker that starts as if the device had answered (the window, which polls a device it
    // has identified).
    explicit TPresenceTracker(TPresence initial) : state_(initial) {}

    TPresenceChange Answered() {
        misses_ = 0;
        if (state_ == TPresence::Online) return TPresenceChange::None;
        state_ = TPresence::Online;
        return TPresenceChange::CameOnline;
    }

    TPresenceChange Missed() {
        if (misses_ < kMissesForOffline) ++misses_;
        const bool offline = state_ == TPresence::Unknown ||
                             (state_ == TPresence::Online && misses_ >= kMissesForOffline);
        if (!offline) return TPresenceChange::None;
        state_ = TPresence::Offline;
        return TPresenceChange::WentOffline;
    }

    TPresence State() const { return state_; }
    bool Online() const { return state_ == TPresence::Online; }
    int Misses() const { return misses_; }

  private:
    TPresence state_ = TPresence::Unknown;
    int misses_ = 0;
};

}  // namespace kstbell
