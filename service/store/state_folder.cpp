#include "service/store/state_folder.h"

#include <cstdlib>

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

}  // namespace kstbell::store
