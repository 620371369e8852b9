#pragma once

// Reads the site file (/etc/kstbell/site.toml): [site], the bridge's sections ([broker],
// [topics], [poll], [devices] with [[devices.horn]]), [groups], the calendar's [schedule] and
// [alarms.*]. Every mistake is reported, each as "FILE:LINE: key 'K': reason", in line order;
// unknown keys and tables are mistakes. A bridge's file is a valid site file.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "service/service_config.h"

namespace kstbell::service {

// Horns that replace the file's devices (the simulated ones of --simulate).
struct TDeviceOverride {
    std::vector<std::string> Addresses;
    std::uint16_t Port = 0;
};

// False with every mistake in errors; config is set only on success.
bool ReadSiteFile(const std::string& path, TServiceConfig& config, std::vector<std::string>& errors,
                  const std::optional<TDeviceOverride>& devices = std::nullopt);

// The same for a text, reported under the name path (relative files are taken from its folder).
bool ReadSiteText(const std::string& text, const std::string& path, TServiceConfig& config,
                  std::vector<std::string>& errors,
                  const std::optional<TDeviceOverride>& devices = std::nullopt);

}  // namespace kstbell::service
