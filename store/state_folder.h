#pragma once

// Where the site service keeps its state (the database, the lock of the running instance), for
// the service and for the programs that read it.

#include <filesystem>
#include <string>

namespace kstbell::store {

// The folder systemd gives a system service (StateDirectory=kstbell).
inline constexpr const char* kSystemStateFolder = "/var/lib/kstbell";

// $STATE_DIRECTORY when set (systemd's StateDirectory=; the first of a list), else given when not
// empty, else $XDG_STATE_HOME/kstbell, else ~/.local/state/kstbell. Empty when none of them is
// known (no HOME).
std::filesystem::path ServiceStateFolder(const std::string& given);

}  // namespace kstbell::store

namespace kstbell::store {

// Who may run the service's programs on a state folder of another user.
enum class TFolderOwner {
    Mine,        // only this process's user (the service itself)
    MineOrRoot,  // also root, administering the service's folder (kstbelld user ...)
};

// Creates the folder (0700) when missing. Empty when the folder may be used; else why not: it
// is no folder (or a symbolic link to one), belongs to another user, or may be written by its
// group or by others (who could put links or files of their own in it).
std::string PrepareStateFolder(const std::filesystem::path& folder, TFolderOwner owner);

// Opens a file in the state folder without following a symbolic link in its place; with
// O_CREAT, a new file gets mode 0600. -1 with errno as open(2) leaves it (ELOOP for a link).
int OpenInStateFolder(const std::filesystem::path& file, int flags);

}  // namespace kstbell::store
