#include "cli/config_diff.h"

#include "cli/device_fields.h"
#include "cli/text_safety.h"
#include "protocol/device_info.h"

namespace kstbell::cli {

namespace {

constexpr TSettingKind kAllKinds[] = {TSettingKind::Location,    TSettingKind::Modbus,
                                      TSettingKind::StaticIp,    TSettingKind::Station,
                                      TSettingKind::AccessPoint, TSettingKind::WifiMode};

bool SameCredentials(const TCredentials& a, const TCredentials& b) {
    if (a.Ssid.empty() && b.Ssid.empty()) return true;  // none configured
    return a.Ssid == b.Ssid && a.KeyType == b.KeyType;
}

bool SameStatic(const TStaticSetting& a, const TStaticSetting& b) {
    if (a.Enabled != b.Enabled) return false;
    return !a.Enabled || (a.Address.Ip == b.Address.Ip && a.Address.Mask == b.Address.Mask &&
                          a.Address.Gateway == b.Address.Gateway);
}

}  // namespace

bool SettingDiffers(const TSettings& current, const TSettings& wanted, TSettingKind kind) {
    switch (kind) {
        case TSettingKind::Location:
            return wanted.Location && current.Location != wanted.Location;
        case TSettingKind::Modbus:
            return wanted.Modbus &&
                   (!current.Modbus || current.Modbus->Port != wanted.Modbus->Port ||
                    current.Modbus->IdleTimeout != wanted.Modbus->IdleTimeout);
        case TSettingKind::StaticIp:
            return wanted.StaticIp &&
                   (!current.StaticIp || !SameStatic(*current.StaticIp, *wanted.StaticIp));
        case TSettingKind::Station:
            return wanted.Station &&
                   (!current.Station || !SameCredentials(*current.Station, *wanted.Station));
        case TSettingKind::AccessPoint:
            return wanted.AccessPoint &&
                   (!current.AccessPoint ||
                    !SameCredentials(*current.AccessPoint, *wanted.AccessPoint));
        case TSettingKind::WifiMode:
            return wanted.AccessPointMode && current.AccessPointMode != wanted.AccessPointMode;
    }
    return false;
}

namespace {

std::string CredentialsText(const TCredentials& c, bool accessPoint) {
    if (c.Ssid.empty()) return "none";
    return QuotedForTerminal(c.Ssid) + " (" +
           (accessPoint ? ApKeyTypeName(c.KeyType) : StationKeyTypeName(c.KeyType)) + ")";
}

}  // namespace

const char* SettingName(TSettingKind kind) {
    switch (kind) {
        case TSettingKind::Location:
            return "location";
        case TSettingKind::Modbus:
            return "modbus";
        case TSettingKind::StaticIp:
            return "static_ip";
        case TSettingKind::Station:
            return "station";
        case TSettingKind::AccessPoint:
            return "access_point";
        case TSettingKind::WifiMode:
            return "wifi_mode";
    }
    return "?";
}

const std::vector<TSettingKind>& AllSettingKinds() {
    static const std::vector<TSettingKind> kinds(std::begin(kAllKinds), std::end(kAllKinds));
    return kinds;
}

bool HasSetting(const TSettings& s, TSettingKind kind) {
    switch (kind) {
        case TSettingKind::Location:
            return s.Location.has_value();
        case TSettingKind::Modbus:
            return s.Modbus.has_value();
        case TSettingKind::StaticIp:
            return s.StaticIp.has_value();
        case TSettingKind::Station:
            return s.Station.has_value();
        case TSettingKind::AccessPoint:
            return s.AccessPoint.has_value();
        case TSettingKind::WifiMode:
            return s.AccessPointMode.has_value();
    }
    return false;
}

void CopySetting(TSettings& into, const TSettings& from, TSettingKind kind) {
    switch (kind) {
        case TSettingKind::Location:
            into.Location = from.Location;
            break;
        case TSettingKind::Modbus:
            into.Modbus = from.Modbus;
            break;
        case TSettingKind::StaticIp:
            into.StaticIp = from.StaticIp;
            break;
        case TSettingKind::Station:
            into.Station = from.Station;
            break;
        case TSettingKind::AccessPoint:
            into.AccessPoint = from.AccessPoint;
            break;
        case TSettingKind::WifiMode:
            into.AccessPointMode = from.AccessPointMode;
            break;
    }
}

std::vector<TSettingKind> Differences(const TSettings& current, const TSettings& wanted,
                                      const TSettings& pending) {
    std::vector<TSettingKind> kinds;
    for (TSettingKind kind : kAllKinds) {
        const bool pendingDiffers =
            HasSetting(pending, kind) && SettingDiffers(pending, wanted, kind);
        if (SettingDiffers(current, wanted, kind) || pendingDiffers) kinds.push_back(kind);
    }
    return kinds;
}

nlohmann::ordered_json SettingJson(const TSettings& settings, TSettingKind kind) {
    TSettings only;
    CopySetting(only, settings, kind);
    if (only.Station) only.Station->Key.clear();
    if (only.AccessPoint) only.AccessPoint->Key.clear();
    const nlohmann::ordered_json all = SettingsJson(only);
    const auto value = all.find(SettingName(kind));
    return value == all.end() ? nlohmann::ordered_json(nullptr) : *value;
}

std::string SettingText(const TSettings& s, TSettingKind kind) {
    switch (kind) {
        case TSettingKind::Location:
            return s.Location ? QuotedForTerminal(*s.Location) : "-";
        case TSettingKind::Modbus:
            return s.Modbus ? "port " + std::to_string(s.Modbus->Port) + ", idle timeout " +
                                  std::to_string(s.Modbus->IdleTimeout) + " s"
                            : "-";
        case TSettingKind::StaticIp:
            if (!s.StaticIp) return "-";
            if (!s.StaticIp->Enabled) return "off";
            return AddressText(s.StaticIp->Address.Ip) + " mask " +
                   AddressText(s.StaticIp->Address.Mask) + " gateway " +
                   AddressText(s.StaticIp->Address.Gateway);
        case TSettingKind::Station:
            return s.Station ? CredentialsText(*s.Station, false) : "-";
        case TSettingKind::AccessPoint:
            return s.AccessPoint ? CredentialsText(*s.AccessPoint, true) : "-";
        case TSettingKind::WifiMode:
            return s.AccessPointMode ? (*s.AccessPointMode ? "access point" : "station") : "-";
    }
    return "-";
}

std::string SettingNames(const std::vector<TSettingKind>& kinds) {
    std::string names;
    for (TSettingKind kind : kinds)
        names += (names.empty() ? "" : ", ") + std::string(SettingName(kind));
    return names;
}

}  // namespace kstbell::cli
