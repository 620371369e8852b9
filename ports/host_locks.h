#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kstbell {

// How a program holds a horn against the other kstbell programs on this PC.
enum class THoldKind {
    Shared,     // one request: others may send theirs meanwhile
    Exclusive,  // a file or image transfer: nobody else talks to the horn until it ends
};

// One hold of a horn. Released when destroyed, and by the system when the process ends.
class IHostHold {
  public:
    virtual ~IHostHold() = default;
};

struct THoldAttempt {
    enum class TStatus {
        Taken,          // Hold is set
        HeldElsewhere,  // another holder keeps the horn in a way this kind conflicts with
        Unusable,  // the lock cannot be used; Problem says why (the file and the system's text)
    };
    TStatus Status = TStatus::Unusable;
    std::unique_ptr<IHostHold> Hold;
    std::string Problem;
};

// Advisory locks, one per horn address and port, that every kstbell program on this PC shares:
// the horn takes the next connection after a file header as the file's data, so nothing else
// may talk to it until the data has gone. Two holds conflict whenever one is exclusive, also
// two holds of one process (a program that holds a horn exclusively must not ask again).
class IHostLocks {
  public:
    virtual ~IHostLocks() = default;
    // One attempt, without waiting.
    virtual THoldAttempt TryHold(const std::string& address, std::uint16_t port,
                                 THoldKind kind) = 0;
};

}  // namespace kstbell
