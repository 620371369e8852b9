#include "service/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

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
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (!ec)
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, ec);
        if (ec) {
            error = "the state folder " + folder.string() + " cannot be made: " + ec.message();
            return false;
        }
    }
    const std::filesystem::path file = folder / kLockFileName;
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = file.string() + " cannot be opened: " + SystemError(errno);
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
