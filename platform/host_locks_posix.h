#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ports/host_locks.h"

namespace kstbell {

// A folder for lock files: Base is taken as it is (it may be reached through links); Sub, one
// or more components inside it, is made when missing and never followed through a link.
struct TLockFolder {
    std::string Base;
    std::string Sub;
    // For every local user: made mode 1777, and used when it belongs to root or this user or has
    // the sticky bit. Otherwise this user's alone: made 0700, used only when it is this user's
    // and nobody else may write into it.
    bool Shared = false;
};

// The folders tried in order: KSTBELL_LOCK_DIR alone when it is set (shared, made when
// missing); else /run/lock/kstbell, then $XDG_RUNTIME_DIR/kstbell/locks, then
// /tmp/kstbell-locks-UID.
std::vector<TLockFolder> DefaultLockFolders();

// The horns' locks as files and flock(2): a hold is a shared or exclusive flock on the horn's
// file in the first usable folder (found once, and again when it is removed), released when the
// descriptor closes, also when the process dies. Files are opened without following links and
// never as anything but regular files, made readable by all (a read-only descriptor can be
// locked), and taken away again by the last holder, so that a scan of a large range leaves no
// files behind.
//
// Standing holds, for a program that polls its horns all the time: the shared hold a request
// takes is kept after the request, and the next requests use it without touching the file, for
// as long as no other holder opens that file (the folder is watched with inotify, read without
// waiting at every attempt). Another program's open makes the next attempt let the horn's
// standing hold go (once this program's requests on it have ended), and for a while after each
// such open the horn's requests take and release the file one by one, as without standing
// holds. So another program's transfer waits at most until this program's next attempt on any
// horn, and its requests and polls are never refused on a standing hold's account; the locks
// themselves are the same flocks on the same files, whatever each program does.
class TPosixHostLocks : public IHostLocks {
  public:
    explicit TPosixHostLocks(std::vector<TLockFolder> folders, bool standing = false);
    ~TPosixHostLocks() override;

    THoldAttempt TryHold(const std::string& address, std::uint16_t port, THoldKind kind) override;

    // The folder that holds the lock files now, or empty with the reason in problem.
    std::string Folder(std::string& problem);

    // The folder in use, kept open for as long as a hold of a file in it lives.
    struct TOpenFolder {
        TOpenFolder(int fd, std::string path) : Fd(fd), Path(std::move(path)) {}
        ~TOpenFolder();
        TOpenFolder(const TOpenFolder&) = delete;
        TOpenFolder& operator=(const TOpenFolder&) = delete;
        int Fd;
        std::string Path;
    };

    // Standing holds' state, which the holds they hand out share.
    struct TStanding;

  private:
    // The first usable folder, opened once and again only when it was removed; nothing, with
    // the reasons in problem, when none can be used.
    std::shared_ptr<const TOpenFolder> CurrentFolder(std::string& problem);

    static std::shared_ptr<TStanding> MakeStanding();
    static void EndStanding(TStanding& standing);
    THoldAttempt TryStanding(const std::string& name, THoldKind kind);

    std::vector<TLockFolder> folders_;
    std::mutex m_;
    std::shared_ptr<const TOpenFolder> folder_;
    // Set for standing holds.
    std::shared_ptr<TStanding> standing_;
};

}  // namespace kstbell
