#pragma once

#ifdef _WIN32

#include <string>

#include "ports/host_locks.h"

namespace kstbell {

// The horns' locks as byte-range locks (LockFileEx) on one file per horn in
// %LOCALAPPDATA%\kstbell\locks, or in KSTBELL_LOCK_DIR when it is set. The system releases a
// hold when its handle closes, also when the process ends. A link or junction put where a lock
// file belongs is not followed.
class TWindowsHostLocks : public IHostLocks {
  public:
    // The folder from KSTBELL_LOCK_DIR or the user's local application data.
    TWindowsHostLocks();
    explicit TWindowsHostLocks(std::wstring folder);

    THoldAttempt TryHold(const std::string& address, std::uint16_t port, THoldKind kind) override;

  private:
    std::wstring folder_;
};

}  // namespace kstbell

#endif  // _WIN32
