#include "platform/host_locks_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/lock_file_name.h"

namespace kstbell {

namespace {

using TClock = std::chrono::steady_clock;

constexpr mode_t kSharedFolderMode = 01777;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kLockFileMode = 0644;
// How often a file that vanished or was replaced between opening and locking is tried again.
constexpr int kReopenTries = 8;

std::string SystemText(int err) {
    return std::strerror(err);
}

// Whether a folder may hold lock files: see TLockFolder::Shared.
bool Trusted(const struct stat& st, bool shared) {
    const uid_t me = ::geteuid();
    if (!S_ISDIR(st.st_mode)) return false;
    if (shared) return st.st_uid == 0 || st.st_uid == me || (st.st_mode & S_ISVTX) != 0;
    return st.st_uid == me && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Opens the component name inside the folder at, made with mode when missing. -1 with the
// reason in problem when it is a link, not a folder, or not to be trusted.
int OpenComponent(int at, const std::string& path, const std::string& name, bool shared,
                  std::string& problem) {
    const mode_t mode = shared ? kSharedFolderMode : kPrivateFolderMode;
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(at, name.c_str(), flags);
    bool made = false;
    if (fd < 0 && errno == ENOENT) {
        made = ::mkdirat(at, name.c_str(), mode) == 0;
        if (!made && errno != EEXIST) {
            problem = path + ": " + SystemText(errno);
            return -1;
        }
        fd = ::openat(at, name.c_str(), flags);
    }
    if (fd < 0) {
        problem = path + (errno == ELOOP || errno == ENOTDIR ? ": not a folder (or a link)"
                                                             : ": " + SystemText(errno));
        return -1;
    }
    // The umask may have taken bits of the mode away.
    if (made) ::fchmod(fd, mode);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !Trusted(st, shared)) {
        problem = path + ": " +
                  (shared ? "belongs to another user and lacks the sticky bit"
                          : "belongs to another user or others may write in it");
        ::close(fd);
        return -1;
    }
    // A shared folder that this user may not write in would hold no file of this user's.
    if (::faccessat(fd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
        problem = path + ": " + SystemText(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

// Opens (or makes) every component of folder.Sub inside folder.Base.
int OpenLockFolder(const TLockFolder& folder, std::string& path, std::string& problem) {
    path = folder.Base;
    int fd = ::open(folder.Base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        problem = path + ": " + SystemText(errno);
        return -1;
    }
    for (const auto& part : std::filesystem::path(folder.Sub)) {
        const std::string name = part.string();
        if (name.empty() || name == "." || name == "/") continue;
        path += "/" + name;
        const int next = OpenComponent(fd, path, name, folder.Shared, problem);
        ::close(fd);
        if (next < 0) return -1;
        fd = next;
    }
    return fd;
}

// Whether name in the folder is the file whose status is opened.
bool NameMeans(int folder, const std::string& name, const struct stat& opened) {
    struct stat named {};
    return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Opens the lock file, made when missing (the last holder takes it away, so it mostly is).
// Exclusive creation never follows a link; an existing file is opened without O_CREAT, so that
// one that another user made in a sticky folder can still be opened (the kernel refuses O_CREAT
// on it under protected_regular). The descriptor is non-blocking so that a FIFO planted in its
// place cannot hang the open.
int OpenLockFile(int folder, const std::string& name, int& opens) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int i = 0; i < kReopenTries; ++i) {
        int fd = ::openat(folder, name.c_str(), flags | O_CREAT | O_EXCL, kLockFileMode);
        if (fd >= 0) {
            ++opens;
            ::fchmod(fd, kLockFileMode);  // readable by all whatever the umask
            return fd;
        }
        if (errno != EEXIST) return -1;
        fd = ::openat(folder, name.c_str(), flags);
        if (fd >= 0) ++opens;
        if (fd >= 0 || errno != ENOENT) return fd;
    }
    errno = EAGAIN;
    return -1;
}

class TPosixHold : public IHostHold {
  public:
    TPosixHold(std::shared_ptr<const TPosixHostLocks::TOpenFolder> folder, std::string name, int fd)
        : folder_(std::move(folder)), name_(std::move(name)), fd_(fd) {}
    TPosixHold(const TPosixHold&) = delete;
    TPosixHold& operator=(const TPosixHold&) = delete;

    ~TPosixHold() override {
        // The last holder takes the file away: only when nobody else holds it (an exclusive
        // lock is granted). While anybody holds the file its name keeps meaning it; whoever
        // opened it before it went sees, once locked, that the name means another file or none,
        // and opens again. In a sticky folder only the file's owner may remove it; otherwise
        // it stays. A file whose name went elsewhere meanwhile is only let go.
        if (!abandoned_ && ::flock(fd_, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(folder_->Fd, name_.c_str(), 0);
        ::close(fd_);
    }

    // The name no longer means this file: the hold ends without taking anything away.
    void Abandon() { abandoned_ = true; }
    // Whether the file's name still means this file.
    bool Named() const {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && NameMeans(folder_->Fd, name_, st);
    }

  private:
    bool abandoned_ = false;
    std::shared_ptr<const TPosixHostLocks::TOpenFolder> folder_;
    std::string name_;
    int fd_;
};

}  // namespace

std::vector<TLockFolder> DefaultLockFolders() {
    if (const char* dir = std::getenv("KSTBELL_LOCK_DIR"); dir != nullptr && *dir != '\0') {
        std::filesystem::path p = std::filesystem::path(dir).lexically_normal();
        if (!p.has_filename()) p = p.parent_path();
        if (!p.has_parent_path()) return {{p.string(), {}, true}};
        return {{p.parent_path().string(), p.filename().string(), true}};
    }
    std::vector<TLockFolder> folders{{"/run/lock", "kstbell", true}};
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/')
        folders.push_back({runtime, "kstbell/locks", false});
    folders.push_back({"/tmp", "kstbell-locks-" + std::to_string(::geteuid()), false});
    return folders;
}

TPosixHostLocks::TOpenFolder::~TOpenFolder() {
    ::close(Fd);
}

TPosixHostLocks::TPosixHostLocks(std::vector<TLockFolder> folders, bool standing)
    : folders_(std::move(folders)) {
    if (standing) standing_ = MakeStanding();
}

TPosixHostLocks::~TPosixHostLocks() {
    if (standing_) EndStanding(*standing_);
}

std::shared_ptr<const TPosixHostLocks::TOpenFolder> TPosixHostLocks::CurrentFolder(
    std::string& problem) {
    const std::lock_guard lock(m_);
    // The folder stays open; one that was removed meanwhile (no links left) is looked up anew.
    struct stat st {};
    if (folder_ && ::fstat(folder_->Fd, &st) == 0 && st.st_nlink > 0) return folder_;
    folder_.reset();
    problem.clear();
    for (const auto& folder : folders_) {
        std::string path;
        std::string why;
        const int fd = OpenLockFolder(folder, path, why);
        if (fd >= 0) {
            folder_ = std::make_shared<const TOpenFolder>(fd, path);
            return folder_;
        }
        problem += (problem.empty() ? "" : "; ") + why;
    }
    if (problem.empty()) problem = "no folder for lock files";
    return nullptr;
}

std::string TPosixHostLocks::Folder(std::string& problem) {
    const auto folder = CurrentFolder(problem);
    return folder ? folder->Path : std::string();
}

namespace {

// A hold of the horn's file in the folder, or why not; opens counts the file's openings.
THoldAttempt TakeFile(const std::shared_ptr<const TPosixHostLocks::TOpenFolder>& folder,
                      const std::string& name, THoldKind kind, int& opens) {
    THoldAttempt a;
    const std::string file = folder->Path + "/" + name;
    const int operation = (kind == THoldKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (int i = 0; i < kReopenTries; ++i) {
        const int fd = OpenLockFile(folder->Fd, name, opens);
        if (fd < 0) {
            a.Problem = file + (errno == ELOOP ? " is a symbolic link (not followed)"
                                               : ": " + SystemText(errno));
            return a;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            a.Problem = file + " is not a regular file";
            ::close(fd);
            return a;
        }
        int locked = ::flock(fd, operation);
        while (locked != 0 && errno == EINTR)
            locked = ::flock(fd, operation);
        if (locked != 0) {
            const int err = errno;
            ::close(fd);
            if (err != EWOULDBLOCK) {
                a.Problem = file + ": " + SystemText(err);
                return a;
            }
            a.Status = THoldAttempt::TStatus::HeldElsewhere;
            return a;
        }
        // Taken away by its last holder between the open and the lock: open the name again.
        if (!NameMeans(folder->Fd, name, st)) {
            ::close(fd);
            continue;
        }
        a.Status = THoldAttempt::TStatus::Taken;
        a.Hold = std::make_unique<TPosixHold>(folder, name, fd);
        return a;
    }
    a.Status = THoldAttempt::TStatus::HeldElsewhere;  // the file kept changing meanwhile
    return a;
}

}  // namespace

THoldAttempt TPosixHostLocks::TryHold(const std::string& address, std::uint16_t port,
                                      THoldKind kind) {
    const std::string name = LockFileName(address, port);
    if (standing_) return TryStanding(name, kind);
    THoldAttempt a;
    const auto folder = CurrentFolder(a.Problem);
    if (!folder) return a;
    int opens = 0;
    return TakeFile(folder, name, kind, opens);
}

// What standing holds keep: per lock file, this instance's holds and the file's standing hold,
// and the watch on the folder that tells of other holders' opens.
struct TPosixHostLocks::TStanding {
    struct THorn {
        std::unique_ptr<IHostHold> Standing;  // a shared hold kept between requests
        int Shared = 0;                       // this instance's shared holds that live now
        bool Exclusive = false;               // this instance holds the file exclusively
        bool Gone = false;                    // the standing hold's file lost its name
        int OwnOpens = 0;                     // this instance's opens the watch has yet to tell
        bool Contested = false;               // another holder opened the file ...
        TClock::time_point Foreign{};         // ... last at this time
    };

    ~TStanding() {
        if (Watch >= 0) ::close(Watch);
    }

    // Lets the standing hold go unless a request of this instance still uses it.
    void LetGoIfIdle(THorn& h) {
        if (!h.Standing || h.Shared > 0) return;
        if (h.Gone) static_cast<TPosixHold&>(*h.Standing).Abandon();
        h.Standing.reset();
        h.Gone = false;
        --Count;
    }

    // Every horn as if another holder had opened its file now.
    void ContestAll(TClock::time_point now) {
        for (auto& [name, h] : Horns) {
            h.Contested = true;
            h.Foreign = now;
            LetGoIfIdle(h);
        }
    }

    // What the watch saw since the last attempt: other holders' opens, files removed or
    // renamed, the folder itself gone.
    void Drain(TClock::time_point now) {
        if (Watch < 0) return;
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(Watch, buffer, sizeof buffer);
            if (n <= 0) {
                // Every open of this instance is told by now; what is still owed was merged
                // with a like event (the system merges a run of them), maybe another holder's.
                for (THorn* h : Owed)
                    h->OwnOpens = 0;
                Owed.clear();
                return;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if ((e->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
                    // Opens may have gone untold, or the folder went: nothing stands.
                    ContestAll(now);
                    if ((e->mask & IN_Q_OVERFLOW) == 0) {
                        for (auto& [name, h] : Horns)
                            h.Gone = h.Standing != nullptr;
                        ::close(Watch);
                        Watch = -1;
                        Watched.reset();
                        return;
                    }
                    continue;
                }
                if (e->len == 0) continue;
                const auto found = Horns.find(e->name);
                if (found == Horns.end()) continue;
                THorn& h = found->second;
                if ((e->mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
                    // Taken away by this instance (maybe before its standing hold was taken
                    // anew), or a standing hold's file by someone else.
                    if (h.Standing && !static_cast<TPosixHold&>(*h.Standing).Named()) {
                        h.Gone = true;
                        LetGoIfIdle(h);
                    }
                } else if (h.OwnOpens > 0) {
                    --h.OwnOpens;
                } else {
                    h.Contested = true;
                    h.Foreign = now;
                    LetGoIfIdle(h);
                }
            }
        }
    }

    // Watches the folder (again), letting go of what stood in another.
    void WatchFolder(const std::shared_ptr<const TOpenFolder>& folder) {
        if (Watch >= 0) ::close(Watch);
        Watch = -1;
        for (auto& [name, h] : Horns) {
            h.OwnOpens = 0;
            LetGoIfIdle(h);
        }
        Owed.clear();
        Watched = folder;
        const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0) return;
        const std::string path = "/proc/self/fd/" + std::to_string(folder->Fd);
        if (::inotify_add_watch(fd, path.c_str(),
                                IN_OPEN | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF |
                                    IN_MOVE_SELF | IN_ONLYDIR) < 0) {
            ::close(fd);
            return;
        }
        Watch = fd;
    }

    std::mutex M;
    std::unordered_map<std::string, THorn> Horns;
    int Watch = -1;
    std::shared_ptr<const TOpenFolder> Watched;
    std::vector<THorn*> Owed;  // horns whose OwnOpens the watch has yet to tell
    std::size_t Count = 0;     // standing holds
    std::size_t Budget = 0;    // at most this many (each keeps a descriptor open)
};

namespace {

using TStandingState = TPosixHostLocks::TStanding;

// One hold handed out by standing holds: its file's own hold, or the standing one's use.
class TCountedHold : public IHostHold {
  public:
    TCountedHold(std::shared_ptr<TStandingState> state, std::string name, THoldKind kind,
                 std::unique_ptr<IHostHold> file)
        : state_(std::move(state)), name_(std::move(name)), kind_(kind), file_(std::move(file)) {}
    TCountedHold(const TCountedHold&) = delete;
    TCountedHold& operator=(const TCountedHold&) = delete;

    ~TCountedHold() override {
        const std::lock_guard lock(state_->M);
        auto& h = state_->Horns[name_];
        file_.reset();
        if (kind_ == THoldKind::Exclusive) {
            h.Exclusive = false;
            return;
        }
        --h.Shared;
        if (h.Contested || h.Gone) state_->LetGoIfIdle(h);
    }

  private:
    std::shared_ptr<TStandingState> state_;
    std::string name_;
    THoldKind kind_;
    std::unique_ptr<IHostHold> file_;
};

// How long after another holder's last open a horn's requests take its file one by one.
constexpr auto kContestedFor = std::chrono::seconds(10);

// Standing holds each keep a descriptor: at most half of what the process may open, less room
// for its sockets.
std::size_t StandingBudget() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const rlim_t half = limit.rlim_cur == RLIM_INFINITY ? 1 << 20 : limit.rlim_cur / 2;
    return half > 64 ? static_cast<std::size_t>(half - 64) : 0;
}

}  // namespace

std::shared_ptr<TPosixHostLocks::TStanding> TPosixHostLocks::MakeStanding() {
    auto standing = std::make_shared<TStanding>();
    standing->Budget = StandingBudget();
    return standing;
}

void TPosixHostLocks::EndStanding(TStanding& st) {
    const std::lock_guard lock(st.M);
    for (auto& [name, h] : st.Horns) {
        h.Contested = true;
        st.LetGoIfIdle(h);
    }
}

THoldAttempt TPosixHostLocks::TryStanding(const std::string& name, THoldKind kind) {
    auto& st = *standing_;
    const std::lock_guard lock(st.M);
    const auto now = TClock::now();
    st.Drain(now);
    auto& h = st.Horns[name];
    if (h.Contested && now - h.Foreign >= kContestedFor) h.Contested = false;
    THoldAttempt a;
    // Holds of one process conflict as those of two do.
    if (h.Exclusive || (kind == THoldKind::Exclusive && h.Shared > 0)) {
        a.Status = THoldAttempt::TStatus::HeldElsewhere;
        return a;
    }
    if (kind == THoldKind::Shared && h.Standing && !h.Gone && !h.Contested) {
        ++h.Shared;
        a.Status = THoldAttempt::TStatus::Taken;
        a.Hold = std::make_unique<TCountedHold>(standing_, name, kind, nullptr);
        return a;
    }
    const auto folder = CurrentFolder(a.Problem);
    if (!folder) return a;
    if (st.Watched != folder) st.WatchFolder(folder);
    // An exclusive hold is a file's own; so is every hold of a file that another holder opened
    // of late, or of one more than the budget allows, or when the folder cannot be watched.
    st.LetGoIfIdle(h);
    const bool stand =
        kind == THoldKind::Shared && !h.Contested && st.Watch >= 0 && st.Count < st.Budget;
    int opens = 0;
    THoldAttempt file = TakeFile(folder, name, kind, opens);
    if (st.Watch >= 0 && opens > 0) {
        h.OwnOpens += opens;
        st.Owed.push_back(&h);
    }
    if (file.Status != THoldAttempt::TStatus::Taken) return file;
    if (stand) {
        h.Standing = std::move(file.Hold);
        ++st.Count;
    }
    if (kind == THoldKind::Exclusive)
        h.Exclusive = true;
    else
        ++h.Shared;
    a.Status = THoldAttempt::TStatus::Taken;
    a.Hold = std::make_unique<TCountedHold>(standing_, name, kind, std::move(file.Hold));
    return a;
}

}  // namespace kstbell
