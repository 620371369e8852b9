// Access-point and station credentials.

#include <string>
#include <string_view>

#include "device/file_transfer.h"
#include "device/locate.h"
#include "device/session.h"
#include "device/settings.h"

namespace kstbell {

TOutcome CheckCredentials(const TCredentials& c) {
    if (c.Ssid.empty() || c.Ssid.size() > kMaxSsid) return Invalid(TInvalid::Ssid);
    if (c.KeyType != kKeyOpen && (c.Key.size() < kMinKey || c.Key.size() > kMaxKey))
        return Invalid(TInvalid::Key);
    if (HasControlByte(c.Ssid)) return Invalid(TInvalid::ControlByte, "the SSID");
    if (c.KeyType != kKeyOpen && HasControlByte(c.Key))
        return Invalid(TInvalid::ControlByte, "the key");
    return {};
}

TOutcome WriteApCredentials(TDeviceSession& s, const TCredentials& c) {
    if (TOutcome checked = CheckCredentials(c); !checked.Ok()) return checked;
    if (c.KeyType != kKeyOpen && c.KeyType != kKeyWpa) return Invalid(TInvalid::Key);
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    if (c.KeyType == kKeyWpa) {
        if (TOutcome o = WriteDeviceFileBytes(s, kApKeyFile, c.Key); !o.Ok()) return o;
        Trace(s, "AP_KEY =" + c.Key);
    } else if (TOutcome o = DeleteDeviceFile(s, kApKeyFile); !o.Ok()) {
        return o;
    }
    s.Pause.Sleep(kSettingPauseMs);
    if (TOutcome o = WriteDeviceFileBytes(s, kApSsidFile, c.Ssid); !o.Ok()) return o;
    Trace(s, "AP_SSID =" + c.Ssid);
    return {};
}

TOutcome WriteStationCredentials(TDeviceSession& s, const TCredentials& c) {
    if (TOutcome checked = CheckCredentials(c); !checked.Ok()) return checked;
    if (c.KeyType > kKeyWpa) return Invalid(TInvalid::Key);
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    if (c.KeyType != kKeyOpen) {
        if (TOutcome o = WriteDeviceFileBytes(s, kStaKeyFile, c.Key); !o.Ok()) return o;
        Trace(s, "STA_KEY =" + c.Key);
    } else if (TOutcome o = DeleteDeviceFile(s, kStaKeyFile); !o.Ok()) {
        return o;
    }
    s.Pause.Sleep(kSettingPauseMs);
    const char typeByte = static_cast<char>(c.KeyType);
    if (TOutcome o = WriteDeviceFileBytes(s, kStaKeyTypeFile, std::string_view(&typeByte, 1));
        !o.Ok())
        return o;
    Trace(s, "STA_KTYPE =" + std::to_string(c.KeyType));
    s.Pause.Sleep(kSettingPauseMs);
    if (TOutcome o = WriteDeviceFileBytes(s, kStaSsidFile, c.Ssid); !o.Ok()) return o;
    Trace(s, "STA_SSID =" + c.Ssid);
    return {};
}

TOutcome ClearStationCredentials(TDeviceSession& s) {
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    for (const char* file : {kStaKeyFile, kStaKeyTypeFile, kStaSsidFile}) {
        if (file != kStaKeyFile) s.Pause.Sleep(kSettingPauseMs);
        if (TOutcome o = DeleteDeviceFile(s, file); !o.Ok()) return o;
    }
    Trace(s, "STA_SSID cleared");
    return {};
}

}  // namespace kstbell
