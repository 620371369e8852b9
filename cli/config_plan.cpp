#include "cli/config_plan.h"

#include "cli/outcome_text.h"
#include "device/device_actions.h"
#include "device/session.h"
#include "device/settings.h"

namespace kstbell::cli {

namespace {

TOutcome Named(TSettingKind kind, TOutcome o) {
    o.Message = std::string(SettingName(kind)) + ": " + OutcomeMessage(o);
    o.Invalid = TInvalid::None;
    return o;
}

TOutcome CheckCredentialsFor(TSettingKind kind, const TCredentials& c) {
    if (c.KeyType != kKeyOpen && c.Key.empty()) {
        const bool ap = kind == TSettingKind::AccessPoint;
        return Invalid(TInvalid::None,
                       std::string("its key is needed and the device does not report it: give ") +
                           (ap ? "--ap-key-file" : "--station-key-file") +
                           ", or save the snapshot with it");
    }
    return CheckCredentials(c);
}

TOutcome CheckStep(TSettingKind kind, const TSettings& w) {
    switch (kind) {
        case TSettingKind::Location:
            return CheckLocation(*w.Location);
        case TSettingKind::Modbus: {
            TModbusSettings m;
            return ParseModbusSettings(std::to_string(w.Modbus->Port),
                                       std::to_string(w.Modbus->IdleTimeout), m);
        }
        case TSettingKind::Station:
            // No SSID: no station, as from the factory; there is nothing else to check.
            if (w.Station->Ssid.empty()) return {};
            return CheckCredentialsFor(kind, *w.Station);
        case TSettingKind::AccessPoint:
            return CheckCredentialsFor(kind, *w.AccessPoint);
        case TSettingKind::StaticIp:
        case TSettingKind::WifiMode:
            break;
    }
    return {};
}

}  // namespace

TOutcome CheckPlan(const std::vector<TSettingKind>& steps, const TSettings& wanted) {
    for (TSettingKind kind : steps) {
        TOutcome o = CheckStep(kind, wanted);
        if (!o.Ok()) return Named(kind, o);
    }
    return {};
}

TOutcome WriteSetting(TDeviceSession& s, const TSettings& w, TSettingKind kind) {
    switch (kind) {
        case TSettingKind::Location:
            return WriteLocation(s, *w.Location);
        case TSettingKind::Modbus:
            return WriteModbusSettings(s, *w.Modbus);
        case TSettingKind::StaticIp:
            return w.StaticIp->Enabled ? WriteStaticAddress(s, w.StaticIp->Address)
                                       : DeleteStaticAddress(s);
        case TSettingKind::Station:
            return w.Station->Ssid.empty() ? ClearStationCredentials(s)
                                           : WriteStationCredentials(s, *w.Station);
        case TSettingKind::AccessPoint:
            return WriteApCredentials(s, *w.AccessPoint);
        case TSettingKind::WifiMode:
            return SetWifiMode(s, *w.AccessPointMode);
    }
    return {};
}

}  // namespace kstbell::cli
