#include "platform/host_locks_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/lock_file_name.h"

namespace kstbell {

namespace {

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
int OpenLockFile(int folder, const std::string& name) {
    const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int i = 0; i < kReopenTries; ++i) {
        int fd = ::openat(folder, name.c_str(), flags | O_CREAT | O_EXCL, kLockFileMode);
        if (fd >= 0) {
            ::fchmod(fd, kLockFileMode);  // readable by all whatever the umask
            return fd;
        }
        if (errno != EEXIST) return -1;
        fd = ::openat(folder, name.c_str(), flags);
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
        // it stays.
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) ::unlinkat(folder_->Fd, name_.c_str(), 0);
        ::close(fd_);
    }

  private:
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

TPosixHostLocks::TPosixHostLocks(std::vector<TLockFolder> folders) : folders_(std::move(folders)) {}

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

THoldAttempt TPosixHostLocks::TryHold(const std::string& address, std::uint16_t port,
                                      THoldKind kind) {
    THoldAttempt a;
    const auto folder = CurrentFolder(a.Problem);
    if (!folder) return a;
    const std::string name = LockFileName(address, port);
    const std::string file = folder->Path + "/" + name;
    const int operation = (kind == THoldKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    for (int i = 0; i < kReopenTries; ++i) {
        const int fd = OpenLockFile(folder->Fd, name);
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

}  // namespace kstbell
