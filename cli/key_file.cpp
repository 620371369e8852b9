#include "cli/key_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace kstbell::cli {

namespace {

constexpr std::size_t kMaxKeyFileBytes = 4096;

}  // namespace

bool ReadKeyFile(const std::string& path, std::string& key, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the key file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string bytes(kMaxKeyFileBytes + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        error = "cannot read the key file " + path;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    if (bytes.size() > kMaxKeyFileBytes) {
        error = "the key file " + path + " is longer than " + std::to_string(kMaxKeyFileBytes) +
                " bytes";
        return false;
    }
    // Every line end at the end, however an editor or a shell left them; any other control
    // character stays and is refused with the key.
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.pop_back();
    key = std::move(bytes);
    return true;
}

}  // namespace kstbell::cli
