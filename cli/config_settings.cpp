#include "cli/config_settings.h"

#include "cli/device_fields.h"
#include "cli/json_text.h"

namespace kstbell::cli {

namespace {

std::uint8_t ApKeyType(std::uint8_t reported) {
    return reported == kKeyOpen ? kKeyOpen : kKeyWpa;
}

std::uint8_t StationKeyType(std::uint8_t reported) {
    return reported == kKeyOpen || reported == kKeyWep ? reported : kKeyWpa;
}

nlohmann::ordered_json CredentialsJson(const TCredentials& c, bool accessPoint) {
    nlohmann::ordered_json j;
    PutText(j, "ssid", c.Ssid);
    j["key_type"] = accessPoint ? ApKeyTypeName(c.KeyType) : StationKeyTypeName(c.KeyType);
    if (!c.Key.empty()) PutText(j, "key", c.Key);
    return j;
}

}  // namespace

TSettings SettingsOf(const TDeviceInfo& info) {
    TSettings s;
    s.Location = info.Location;
    s.AccessPoint = TCredentials{info.ApSsid, ApKeyType(info.ApKeyType), {}};
    s.Station = TCredentials{info.StaSsid, StationKeyType(info.StaKeyType), {}};
    s.StaticIp = TStaticSetting{info.StaticIpEnabled,
                                info.StaticIpEnabled
                                    ? TStaticAddress{info.StaticIp, info.NetMask, info.Gateway}
                                    : TStaticAddress{}};
    s.Modbus = TModbusSettings{info.ModbusPort, info.ModbusIdleTimeout};
    s.AccessPointMode = info.WifiMode != 0;
    return s;
}

nlohmann::ordered_json SettingsJson(const TSettings& s) {
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    if (s.Location) PutText(j, "location", *s.Location);
    if (s.AccessPoint) j["access_point"] = CredentialsJson(*s.AccessPoint, true);
    if (s.Station) j["station"] = CredentialsJson(*s.Station, false);
    if (s.StaticIp) {
        if (s.StaticIp->Enabled)
            j["static_ip"] = {{"ip", AddressText(s.StaticIp->Address.Ip)},
                              {"mask", AddressText(s.StaticIp->Address.Mask)},
                              {"gateway", AddressText(s.StaticIp->Address.Gateway)}};
        else
            j["static_ip"] = nullptr;
    }
    if (s.Modbus)
        j["modbus"] = {{"port", s.Modbus->Port}, {"idle_timeout_s", s.Modbus->IdleTimeout}};
    if (s.AccessPointMode) j["wifi_mode"] = *s.AccessPointMode ? "ap" : "station";
    return j;
}

nlohmann::ordered_json SnapshotJson(const std::string& address, const TDeviceInfo& info,
                                    const TSettings& settings) {
    return {{"format", kSnapshotFormat},
            {"read_from", address},
            {"device", InfoJson(info)},
            {"settings", SettingsJson(settings)}};
}

std::string FileForDevice(const std::string& pattern, const std::string& address) {
    static const std::string kPlaceholder = "{device}";
    std::string name = pattern;
    for (auto at = name.find(kPlaceholder); at != std::string::npos;
         at = name.find(kPlaceholder, at + address.size()))
        name.replace(at, kPlaceholder.size(), address);
    return name;
}

}  // namespace kstbell::cli
