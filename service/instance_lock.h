#pragma once

// One service per state folder: a lock file in it, held while the service runs. The kernel
// drops the lock when the process ends however it ends (kill -9 included), so a stale file
// never keeps the next instance out.

#include <filesystem>
#include <string>

namespace kstbell::service {

inline constexpr const char* kLockFileName = "kstbelld.lock";

class TInstanceLock {
  public:
    TInstanceLock() = default;
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    // Creates the folder (0700) when missing and takes the lock, writing this process's id
    // into the file. False, with the reason, when another process holds it (naming its id),
    // the folder is not this user's alone (store::PrepareStateFolder), the file is a link or
    // not this user's, or it cannot be made.
    bool Take(const std::filesystem::path& folder, std::string& error);

  private:
    int fd_ = -1;
};

}  // namespace kstbell::service
