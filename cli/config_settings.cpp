#include "cli/config_settings.h"

#include <fstream>

#include "cli/device_fields.h"
#include "cli/json_text.h"
#include "protocol/address_text.h"

namespace kstbell::cli {

namespace {

constexpr std::size_t kMaxSnapshotBytes = 1 << 20;

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

bool ReadCredentials(const nlohmann::ordered_json& j, bool accessPoint, TCredentials& c,
                     std::string& error) {
    if (!j.is_object()) {
        error = "is not an object";
        return false;
    }
    if (!GetText(j, "ssid", c.Ssid, error)) return false;
    const std::string type = j.value("key_type", "");
    if (type == "open")
        c.KeyType = kKeyOpen;
    else if (type == "wpa")
        c.KeyType = kKeyWpa;
    else if (type == "wep" && !accessPoint)
        c.KeyType = kKeyWep;
    else {
        error = std::string("\"key_type\" must be ") +
                (accessPoint ? "\"open\" or \"wpa\"" : "\"open\", \"wep\" or \"wpa\"");
        return false;
    }
    c.Key.clear();
    if ((j.contains("key") || j.contains("key_hex")) && !GetText(j, "key", c.Key, error))
        return false;
    return true;
}

bool ReadQuad(const nlohmann::ordered_json& j, const char* name, std::array<std::uint8_t, 4>& out,
              std::string& error) {
    const auto v = j.find(name);
    if (v == j.end() || !v->is_string() || !IsDottedQuad(v->get<std::string>())) {
        error = std::string("\"") + name + "\" is not an address A.B.C.D";
        return false;
    }
    out = DottedQuadBytes(v->get<std::string>());
    return true;
}

bool ReadStatic(const nlohmann::ordered_json& j, TStaticSetting& s, std::string& error) {
    s = {};
    if (j.is_null()) return true;
    if (!j.is_object()) {
        error = "is neither null nor an object";
        return false;
    }
    s.Enabled = true;
    return ReadQuad(j, "ip", s.Address.Ip, error) && ReadQuad(j, "mask", s.Address.Mask, error) &&
           ReadQuad(j, "gateway", s.Address.Gateway, error);
}

bool ReadNumber(const nlohmann::ordered_json& j, const char* name, int max, std::uint16_t& out,
                std::string& error) {
    const auto v = j.find(name);
    if (v == j.end() || !v->is_number_integer() || v->get<long long>() < 0 ||
        v->get<long long>() > max) {
        error =
            std::string("\"") + name + "\" is not a whole number from 0 to " + std::to_string(max);
        return false;
    }
    out = static_cast<std::uint16_t>(v->get<long long>());
    return true;
}

// Reads one setting when the document has it; a failure names the setting.
template <typename TRead>
bool ReadPart(const nlohmann::ordered_json& settings, const char* name, std::string& error,
              TRead read) {
    const auto part = settings.find(name);
    if (part == settings.end()) return true;
    if (read(*part)) return true;
    error = std::string("settings.") + name + ": " + error;
    return false;
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

bool ReadSettings(const nlohmann::ordered_json& snapshot, TSettings& out, std::string& error) {
    out = {};
    if (!snapshot.is_object() || snapshot.value("format", "") != kSnapshotFormat) {
        error = std::string("not a snapshot (its \"format\" is not \"") + kSnapshotFormat + "\")";
        return false;
    }
    const auto settings = snapshot.find("settings");
    if (settings == snapshot.end() || !settings->is_object()) {
        error = "the snapshot has no \"settings\" object";
        return false;
    }
    const auto& s = *settings;
    return ReadPart(s, "location", error,
                    [&](const nlohmann::ordered_json&) {
                        std::string text;
                        if (!GetText(s, "location", text, error)) return false;
                        out.Location = text;
                        return true;
                    }) &&
           ReadPart(s, "access_point", error,
                    [&](const nlohmann::ordered_json& j) {
                        TCredentials c;
                        if (!ReadCredentials(j, true, c, error)) return false;
                        out.AccessPoint = c;
                        return true;
                    }) &&
           ReadPart(s, "station", error,
                    [&](const nlohmann::ordered_json& j) {
                        TCredentials c;
                        if (!ReadCredentials(j, false, c, error)) return false;
                        out.Station = c;
                        return true;
                    }) &&
           ReadPart(s, "static_ip", error,
                    [&](const nlohmann::ordered_json& j) {
                        TStaticSetting st;
                        if (!ReadStatic(j, st, error)) return false;
                        out.StaticIp = st;
                        return true;
                    }) &&
           ReadPart(s, "modbus", error,
                    [&](const nlohmann::ordered_json& j) {
                        TModbusSettings m;
                        if (!j.is_object() || !ReadNumber(j, "port", 65535, m.Port, error) ||
                            !ReadNumber(j, "idle_timeout_s", 65535, m.IdleTimeout, error)) {
                            if (error.empty()) error = "is not an object";
                            return false;
                        }
                        out.Modbus = m;
                        return true;
                    }) &&
           ReadPart(s, "wifi_mode", error, [&](const nlohmann::ordered_json& j) {
               if (j != "ap" && j != "station") {
                   error = "must be \"ap\" or \"station\"";
                   return false;
               }
               out.AccessPointMode = j == "ap";
               return true;
           });
}

bool ReadSnapshotFile(const std::string& path, TSettings& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the snapshot " + path;
        return false;
    }
    std::string text(kMaxSnapshotBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxSnapshotBytes) {
        error = "the snapshot " + path + " is larger than any snapshot";
        return false;
    }
    const nlohmann::ordered_json doc = nlohmann::ordered_json::parse(text, nullptr, false);
    if (doc.is_discarded()) {
        error = "the snapshot " + path + " is not JSON";
        return false;
    }
    if (!ReadSettings(doc, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
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
