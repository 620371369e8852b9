#include "mqtt/secret_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <utility>

namespace kstbell::mqtt {

std::vector<std::string> LooseSecretFiles(const TBridgeConfig& config) {
    std::vector<std::string> warnings;
    const std::pair<const char*, const std::string*> files[] = {
        {"password_file", &config.PasswordFile}, {"key_file", &config.KeyFile}};
    for (const auto& [key, path] : files) {
        struct stat st {};
        if (path->empty() || stat(path->c_str(), &st) != 0) continue;
        if ((st.st_mode & (S_IRGRP | S_IROTH)) == 0) continue;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        warnings.push_back(std::string(key) + " " + *path + " can be read by " +
                           ((st.st_mode & S_IROTH) ? "others" : "its group") + " (mode " + mode +
                           "): make it readable by its owner only (chmod 600)");
    }
    return warnings;
}

}  // namespace kstbell::mqtt
