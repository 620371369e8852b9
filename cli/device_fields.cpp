#include "cli/device_fields.h"

#include <cstdio>

#include "cli/json_text.h"
#include "cli/text_safety.h"
#include "protocol/commands.h"
#include "protocol/text.h"

namespace kstbell::cli {

namespace {

double Gigabytes(const TSdFigure& f) {
    return f.Whole + f.Hundredths / 100.0;
}

std::string GigabyteText(const TSdFigure& f) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%02u", static_cast<unsigned>(f.Whole),
                  static_cast<unsigned>(f.Hundredths));
    return buf;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string Line(const char* label, const std::string& value) {
    return "  " + Padded(label, 16) + value + "\n";
}

}  // namespace

const char* ApKeyTypeName(std::uint8_t type) {
    return type == 0 ? "open" : "wpa";
}

const char* StationKeyTypeName(std::uint8_t type) {
    return type == 0 ? "open" : type == 1 ? "wep" : "wpa";
}

const char* WifiModeName(std::uint8_t mode) {
    return mode == 0 ? "station" : "ap";
}

std::string RssiText(std::uint16_t raw) {
    return RssiKnown(raw) ? std::to_string(RssiDbm(raw)) + " dBm" : std::string("unknown");
}

nlohmann::ordered_json InfoJson(const TDeviceInfo& info) {
    nlohmann::ordered_json j;
    j["model"] = info.Model;
    j["supported"] = info.Model == kSupportedModelCode;
    j["address"] = AddressText(info.Address);
    j["mac"] = MacToText(info.Mac.data(), info.Mac.size());
    j["firmware"] = FirmwareVersionText(info.FirmwareMajor, info.FirmwareMinor);
    j["firmware_major"] = info.FirmwareMajor;
    j["firmware_minor"] = info.FirmwareMinor;
    if (info.SdPresent)
        j["sd"] = {{"size_gb", Gigabytes(info.SdSize)}, {"free_gb", Gigabytes(info.SdFree)}};
    else
        j["sd"] = nullptr;
    PutText(j, "location", info.Location);
    PutText(j, "ap_ssid", info.ApSsid);
    j["ap_key_type"] = ApKeyTypeName(info.ApKeyType);
    PutText(j, "station_ssid", info.StaSsid);
    j["station_key_type"] = StationKeyTypeName(info.StaKeyType);
    j["wifi_mode"] = WifiModeName(info.WifiMode);
    if (info.StaticIpEnabled)
        j["static_ip"] = {{"ip", AddressText(info.StaticIp)},
                          {"mask", AddressText(info.NetMask)},
                          {"gateway", AddressText(info.Gateway)}};
    else
        j["static_ip"] = nullptr;
    j["modbus_port"] = info.ModbusPort;
    j["modbus_idle_timeout_s"] = info.ModbusIdleTimeout;
    j["output"] = info.Output;
    j["input"] = info.Input;
    j["rssi_dbm"] =
        RssiKnown(info.RssiRaw) ? nlohmann::ordered_json(RssiDbm(info.RssiRaw)) : nullptr;
    j["device_mode"] = info.DeviceMode;
    j["armed"] = info.Armed;
    return j;
}

nlohmann::ordered_json StatusJson(const TDeviceStatus& status) {
    return {{"output", status.Output},
            {"input", status.Input},
            {"rssi_dbm", RssiKnown(status.RssiRaw) ? nlohmann::ordered_json(RssiDbm(status.RssiRaw))
                                                   : nlohmann::ordered_json(nullptr)},
            {"armed", status.Armed}};
}

std::string InfoBlock(const std::string& device, const TDeviceInfo& info) {
    std::string text = device + "\n";
    text += Line("model", std::to_string(info.Model) +
                              (info.Model == kSupportedModelCode ? " (supported)" : " (unknown)"));
    text += Line("address", AddressText(info.Address));
    text += Line("MAC", MacToText(info.Mac.data(), info.Mac.size()));
    text += Line("firmware", FirmwareVersionText(info.FirmwareMajor, info.FirmwareMinor));
    text += Line("SD card", info.SdPresent ? GigabyteText(info.SdFree) + " GB free of " +
                                                 GigabyteText(info.SdSize) + " GB"
                                           : std::string("none"));
    text += Line("location", QuotedForTerminal(info.Location));
    text += Line("Wi-Fi mode", info.WifiMode == 0 ? "station" : "access point");
    text += Line("AP", QuotedForTerminal(info.ApSsid) + " (" + ApKeyTypeName(info.ApKeyType) + ")");
    text += Line("station", QuotedForTerminal(info.StaSsid) + " (" +
                                StationKeyTypeName(info.StaKeyType) + ")");
    text += Line("static IP", info.StaticIpEnabled ? AddressText(info.StaticIp) + " mask " +
                                                         AddressText(info.NetMask) + " gateway " +
                                                         AddressText(info.Gateway)
                                                   : std::string("off"));
    text += Line("Modbus", "port " + std::to_string(info.ModbusPort) + ", idle timeout " +
                               std::to_string(info.ModbusIdleTimeout) + " s");
    text += Line("output", std::to_string(info.Output));
    text += Line("input", std::to_string(info.Input));
    text += Line("RSSI", RssiText(info.RssiRaw));
    text += Line("device mode", std::to_string(info.DeviceMode));
    text += Line("armed", std::to_string(info.Armed));
    return text;
}

std::string StatusHeading() {
    return Padded("DEVICE", 16) + Padded("OUTPUT", 7) + Padded("INPUT", 6) + Padded("RSSI", 10) +
           "ARMED";
}

std::string StatusRow(const std::string& device, const TDeviceStatus& status) {
    return Padded(device, 16) + Padded(std::to_string(status.Output), 7) +
           Padded(std::to_string(status.Input), 6) + Padded(RssiText(status.RssiRaw), 10) +
           std::to_string(status.Armed);
}

}  // namespace kstbell::cli
