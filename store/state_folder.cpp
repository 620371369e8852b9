#include "store/state_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace kstbell::store {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

std::filesystem::path ServiceStateFolder(const std::string& given) {
    const std::string systemd = Environment("STATE_DIRECTORY");
    if (!systemd.empty()) return systemd.substr(0, systemd.find(':'));
    if (!given.empty()) return given;
    const std::string xdg = Environment("XDG_STATE_HOME");
    // The XDG rules ignore a relative path.
    if (!xdg.empty() && xdg.front() == '/') return std::filesystem::path(xdg) / "kstbell";
    const std::string home = Environment("HOME");
    if (home.empty()) return {};
    return std::filesystem::path(home) / ".local" / "state" / "kstbell";
}

std::string PrepareStateFolder(const std::filesystem::path& folder, TFolderOwner owner) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(folder, error))) {
        fs::create_directories(folder, error);
        if (!error) fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, error);
        if (error)
            return "the state folder " + folder.string() + " cannot be made: " + error.message();
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return "the state folder " + folder.string() + " cannot be read: " + std::strerror(errno);
    }
    if (S_ISLNK(info.st_mode)) {
        // A link given by the administrator (systemd's /var/lib/NAME of a dynamic user) is
        // followed once, here; what it points to must pass the same checks.
        if (::stat(folder.c_str(), &info) != 0) {
            return "the state folder " + folder.string() +
                   " cannot be read: " + std::strerror(errno);
        }
    }
    if (!S_ISDIR(info.st_mode)) return "the state folder " + folder.string() + " is not a folder";
    const uid_t me = ::geteuid();
    const bool allowed = info.st_uid == me || (owner == TFolderOwner::MineOrRoot && me == 0);
    if (!allowed) {
        return "the state folder " + folder.string() + " belongs to user id " +
               std::to_string(info.st_uid) + ", not to this user (id " + std::to_string(me) +
               "); run the service as its owner";
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        return "the state folder " + folder.string() +
               " may be written by its group or others (mode " + mode +
               "); make it 0700 (chmod 700)";
    }
    return {};
}

int OpenInStateFolder(const std::filesystem::path& file, int flags) {
    return ::open(file.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace kstbell::store
