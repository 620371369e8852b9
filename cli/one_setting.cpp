#include "cli/one_setting.h"

#include "cli/device_fields.h"
#include "cli/json_text.h"
#include "cli/key_file.h"
#include "cli/text_safety.h"
#include "device/settings.h"

namespace kstbell::cli {

std::string QuotedText(const std::string& bytes) {
    return "\"" + EscapeForTerminal(bytes) + "\"";
}

TSetting CredentialsSetting(bool accessPoint, const std::string& ssid, const std::string& keyFile,
                            const std::string& keyType) {
    TSetting s;
    TCredentials c{ssid, kKeyOpen, {}};
    if (!keyFile.empty()) {
        std::string error;
        if (!ReadKeyFile(keyFile, c.Key, error)) {
            s.Check = Invalid(TInvalid::None, error);
            return s;
        }
        c.KeyType = accessPoint || keyType != "wep" ? kKeyWpa : kKeyWep;
    }
    s.Check = CheckCredentials(c);
    const char* name = accessPoint ? "access point" : "station";
    const std::string type = accessPoint ? ApKeyTypeName(c.KeyType) : StationKeyTypeName(c.KeyType);
    s.Question = std::string("Set the ") + name + " SSID to " + QuotedText(c.Ssid) + " (" + type +
                 (c.KeyType == kKeyOpen
                      ? ""
                      : ", key of " + std::to_string(c.Key.size()) + " bytes from " + keyFile) +
                 ")";
    s.Write = [c, accessPoint](TDeviceSession& d) {
        return accessPoint ? WriteApCredentials(d, c) : WriteStationCredentials(d, c);
    };
    const std::string key = accessPoint ? "ap" : "station";
    s.Result = {{"setting", key}};
    PutText(s.Result, key + "_ssid", c.Ssid);
    s.Result[key + "_key_type"] = type;
    s.Human = std::string(name) + " SSID " + QuotedText(c.Ssid) + " (" + type + ") written";
    (accessPoint ? s.Written.AccessPoint : s.Written.Station) = c;
    return s;
}

int WriteOneSetting(TVerbContext& c, TSetting setting) {
    // Values that break a rule never reach a device, nor is anybody asked about them.
    if (!setting.Check.Ok()) {
        FailAll(c, setting.Check);
        return c.Report.ExitCode();
    }
    int exitCode = 0;
    if (!ConsentTo(c,
                   setting.Question + " on " + DeviceListText(c.Devices) +
                       "? It takes effect when the device restarts.",
                   exitCode))
        return exitCode;
    setting.Result["restart_needed"] = true;
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        TOutcome o;
        {
            TTransferMark transfer(c.Env);
            o = setting.Write(s);
        }
        if (o.Ok()) c.Pending.Written(address, setting.Written);
        if (o.Ok())
            c.Report.Success(
                address, setting.Result,
                address + "  " + setting.Human + "; it takes effect at the next restart (reboot)");
        else
            c.Report.Failure(address, o);
    });
    return c.Report.ExitCode();
}

}  // namespace kstbell::cli
