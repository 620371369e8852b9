#include "service/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "store/state_folder.h"

namespace kstbell::service {

namespace {

std::string SystemError(int error) {
    return std::strerror(error);
}

// The process id written in the file, or "unknown".
std::string HolderOf(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    std::string pid(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' '))
        pid.pop_back();
    return pid.empty() ? "unknown" : pid;
}

}  // namespace

TInstanceLock::~TInstanceLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool TInstanceLock::Take(const std::filesystem::path& folder, std::string& error) {
    error = store::PrepareStateFolder(folder, store::TFolderOwner::Mine);
    if (!error.empty()) return false;
    const std::filesystem::path file = folder / kLockFileName;
    // Never through a link put in its place: the file would be the link's target, truncated.
    const int fd = store::OpenInStateFolder(file, O_RDWR | O_CREAT | O_NONBLOCK);
    if (fd < 0) {
        const int why = errno;
        error = file.string() + " cannot be opened: " +
                (why == ELOOP ? std::string("it is a symbolic link; refused") : SystemError(why));
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        error = file.string() + " is not a file of this user; refused";
        ::close(fd);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        if (why == EWOULDBLOCK) {
            error = "another kstbelld (pid " + HolderOf(fd) + ") uses the state folder " +
                    folder.string();
        } else {
            error = file.string() + " cannot be locked: " + SystemError(why);
        }
        ::close(fd);
        return false;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size())) {
        error = file.string() + " cannot be written: " + SystemError(errno);
        ::close(fd);
        return false;
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return true;
}

}  // namespace kstbell::service
