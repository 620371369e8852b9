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
