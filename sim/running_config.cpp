#include "sim/running_config.h"

#include <algorithm>

namespace kstbell::sim {

namespace {

const std::vector<std::uint8_t>* Find(const TFileMap& files, const char* path) {
    const auto it = files.find(path);
    return it == files.end() ? nullptr : &it->second;
}

std::string AsText(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// A text file of 1 to 31 bytes, or the fallback.
std::string TextOr(const TFileMap& files, const char* path, std::string fallback) {
    const auto* bytes = Find(files, path);
    if (bytes == nullptr || bytes->empty() || bytes->size() > kMaxText) return fallback;
    return AsText(*bytes);
}

std::uint16_t Be16(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

}  // namespace

TRunningConfig LoadRunningConfig(const TFileMap& files) {
    TRunningConfig config;
    config.ApSsid = TextOr(files, paths::kApSsid, defaults::kApSsid);
    config.ApKeyType = Find(files, paths::kApKey) != nullptr ? defaults::kKeyTypeWpa : 0;
    config.StaSsid = TextOr(files, paths::kStaSsid, "");
    if (const auto* type = Find(files, paths::kStaKeyType); type != nullptr && type->size() == 1) {
        config.StaKeyType = type->front();
    }
    if (const auto* ip = Find(files, paths::kStaIp);
        ip != nullptr && ip->size() == config.StaticAddressing.size()) {
        config.StaticIp = true;
        std::copy(ip->begin(), ip->end(), config.StaticAddressing.begin());
    }
    config.Location = TextOr(files, paths::kLocation, defaults::kLocation);
    if (const auto* modbus = Find(files, paths::kModbus);
        modbus != nullptr && modbus->size() == 10) {
        config.ModbusPort = Be16(*modbus, 0);
        config.ModbusIdleTimeout = Be16(*modbus, 2);
    }
    if (const auto* mode = Find(files, paths::kWifiMode); mode != nullptr && mode->size() == 1) {
        config.WifiMode = mode->front();
    }
    if (const auto* key = Find(files, paths::kWebKey); key != nullptr) {
        config.WebLoginKey = AsText(*key);
    }
    return config;
}

}  // namespace kstbell::sim
