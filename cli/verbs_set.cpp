// set: one setting, with the setup window's checks, limits and files; it takes effect when the
// device restarts.

#include <functional>

#include "cli/device_fields.h"
#include "cli/exit_codes.h"
#include "cli/json_text.h"
#include "cli/key_file.h"
#include "cli/text_safety.h"
#include "cli/verb_context.h"
#include "device/settings.h"
#include "protocol/device_info.h"

namespace kstbell::cli {

namespace {

struct TSetting {
    TOutcome Check;        // Done when the values may be written
    std::string Question;  // what is asked before
    std::function<TOutcome(TDeviceSession&)> Write;
    nlohmann::ordered_json Result;
    std::string Human;
};

std::string Quoted(const std::string& bytes) {
    return "\"" + EscapeForTerminal(bytes) + "\"";
}

TSetting Location(const std::string& text) {
    TSetting s;
    s.Check = CheckLocation(text);
    s.Question = "Set the location to " + Quoted(text);
    s.Write = [text](TDeviceSession& d) { return WriteLocation(d, text); };
    s.Result = {{"setting", "location"}};
    PutText(s.Result, "location", text);
    s.Human = "location " + Quoted(text) + " written";
    return s;
}

TSetting Modbus(const std::string& port, const std::string& timeout) {
    TSetting s;
    TModbusSettings m;
    s.Check = ParseModbusSettings(port, timeout, m);
    s.Question = "Set the Modbus port to " + std::to_string(m.Port) + " and its idle timeout to " +
                 std::to_string(m.IdleTimeout) + " s";
    s.Write = [m](TDeviceSession& d) { return WriteModbusSettings(d, m); };
    s.Result = {
        {"setting", "modbus"}, {"modbus_port", m.Port}, {"modbus_idle_timeout_s", m.IdleTimeout}};
    s.Human = "Modbus port " + std::to_string(m.Port) + ", idle timeout " +
              std::to_string(m.IdleTimeout) + " s written";
    return s;
}

// The access point or the station: the SSID and, from a file, the key.
TSetting Credentials(bool accessPoint, const TCommandLine& line) {
    TSetting s;
    TCredentials c{line.Args.at(0), kKeyOpen, {}};
    if (!line.KeyFile.empty()) {
        std::string error;
        if (!ReadKeyFile(line.KeyFile, c.Key, error)) {
            s.Check = Invalid(TInvalid::None, error);
            return s;
        }
        c.KeyType = accessPoint || line.KeyType != "wep" ? kKeyWpa : kKeyWep;
    }
    s.Check = CheckCredentials(c);
    const char* name = accessPoint ? "access point" : "station";
    const std::string type = accessPoint ? ApKeyTypeName(c.KeyType) : StationKeyTypeName(c.KeyType);
    s.Question = std::string("Set the ") + name + " SSID to " + Quoted(c.Ssid) + " (" + type +
                 (c.KeyType == kKeyOpen ? ""
                                        : ", key of " + std::to_string(c.Key.size()) +
                                              " bytes from " + line.KeyFile) +
                 ")";
    s.Write = [c, accessPoint](TDeviceSession& d) {
        return accessPoint ? WriteApCredentials(d, c) : WriteStationCredentials(d, c);
    };
    const std::string key = accessPoint ? "ap" : "station";
    s.Result = {{"setting", key}};
    PutText(s.Result, key + "_ssid", c.Ssid);
    s.Result[key + "_key_type"] = type;
    s.Human = std::string(name) + " SSID " + Quoted(c.Ssid) + " (" + type + ") written";
    return s;
}

TSetting StaticIp(const std::vector<std::string>& args) {
    TSetting s;
    s.Result = {{"setting", "static_ip"}};
    if (args.size() == 1) {
        s.Question = "Turn the station's static address off";
        s.Write = DeleteStaticAddress;
        s.Result["static_ip"] = nullptr;
        s.Human = "static address removed";
        return s;
    }
    TStaticAddress a;
    s.Check = ParseStaticAddress(args.at(0), args.at(1), args.at(2), a);
    const std::string text =
        AddressText(a.Ip) + " mask " + AddressText(a.Mask) + " gateway " + AddressText(a.Gateway);
    s.Question = "Set the station's static address to " + text;
    s.Write = [a](TDeviceSession& d) { return WriteStaticAddress(d, a); };
    s.Result["static_ip"] = {{"ip", AddressText(a.Ip)},
                             {"mask", AddressText(a.Mask)},
                             {"gateway", AddressText(a.Gateway)}};
    s.Human = "static address " + text + " written";
    return s;
}

}  // namespace

int RunSet(TVerbContext& c) {
    const TCommandLine& line = c.Line;
    const std::string what = line.Verb.substr(4);  // after "set "
    TSetting setting;
    if (what == "location") {
        setting = Location(line.Args.at(0));
    } else if (what == "modbus") {
        setting = Modbus(line.Args.at(0), line.Args.at(1));
    } else if (what == "ap" || what == "station") {
        setting = Credentials(what == "ap", line);
    } else if (line.Args.size() == 1 && line.Args[0] != "off") {
        c.Report.Error("set static-ip takes IP MASK GATEWAY, or off");
        return kExitUsage;
    } else if (line.Args.size() == 2) {
        c.Report.Error("set static-ip takes IP MASK GATEWAY, or off");
        return kExitUsage;
    } else {
        setting = StaticIp(line.Args);
    }
    // Values that break a rule never reach a device, nor is anybody asked about them.
    if (!setting.Check.Ok()) {
        for (const auto& device : c.Devices)
            c.Report.Failure(device, setting.Check);
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
        const TOutcome o = setting.Write(s);
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
