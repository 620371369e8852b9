#include <string>

#include "link/device_link.h"
#include "link/text.h"
#include "shell/display.h"

namespace kstbell {

namespace {

// Reply offsets of the get-information reply.
constexpr std::size_t kModel = 6;
constexpr std::size_t kAddress = 7;  // four bytes, last part first
constexpr std::size_t kMac = 11;
constexpr std::size_t kSdPresent = 17;
constexpr std::size_t kSdSize = 18;
constexpr std::size_t kSdFree = 20;
constexpr std::size_t kFirmware = 24;
constexpr std::size_t kIdleTimeout = 36;
constexpr std::size_t kLocation = 40;
constexpr std::size_t kApSsid = 80;
constexpr std::size_t kApKeyType = 112;
constexpr std::size_t kStaSsid = 128;
constexpr std::size_t kStaKeyType = 160;
constexpr std::size_t kWifiMode = 176;
constexpr std::size_t kOutput = 177;
constexpr std::size_t kInput = 178;
constexpr std::size_t kModbusPort = 179;
constexpr std::size_t kStaticFlag = 181;
constexpr std::size_t kStaticIp = 182;
constexpr std::size_t kNetMask = 186;
constexpr std::size_t kGateway = 190;
constexpr std::size_t kRssi = 194;
constexpr std::size_t kDeviceMode = 196;
constexpr std::size_t kArmed = 198;
constexpr std::size_t kMaxText = 31;

// A text field: bytes up to the first zero, at most 31 of them.
std::string TextAt(const TReplyFrame& reply, std::size_t at) {
    std::string text;
    for (std::size_t i = 0; i < kMaxText && reply[at + i] != 0; ++i)
        text.push_back(static_cast<char>(reply[at + i]));
    return text;
}

std::array<std::uint8_t, 4> QuadAt(const TReplyFrame& reply, std::size_t at) {
    return {reply[at], reply[at + 1], reply[at + 2], reply[at + 3]};
}

// Whole and hundredths as "W.HH".
std::string Figure(std::uint8_t whole, std::uint8_t hundredths) {
    return std::to_string(whole) + "." + (hundredths < 10 ? "0" : "") + std::to_string(hundredths);
}

std::string SdText(const TReplyFrame& reply) {
    if (reply[kSdPresent] == 0) return "SD : N/A";
    return "SD Free:" + Figure(reply[kSdFree], reply[kSdFree + 1]) + "/(" +
           Figure(reply[kSdSize], reply[kSdSize + 1]) + ")GB";
}

}  // namespace

void EnableDeviceControls(TContext& ctx, std::uint8_t model) {
    if (model != kSupportedModelCode) return;
    auto& f = ctx.Form1;
    f.SpeedButton4.Enabled = true;
    f.Image1Enabled = true;
    f.Image2Enabled = true;
    f.Image3Enabled = true;
}

void DecodeDeviceInfo(TContext& ctx) {
    auto& link = ctx.Link;
    auto& f = ctx.Form1;
    auto& info = ctx.DeviceInfo;
    const auto& reply = link.Reply;

    link.PendingCode = 0;
    f.Label4.FontColor = clRed;
    ctx.Flags.SupportedModel = false;
    std::string headline = "Unknow Device??";
    std::uint8_t tracedModel = 0;
    if (reply[kModel] == kSupportedModelCode) {
        EnableDeviceControls(ctx, kSupportedModelCode);
        ctx.Flags.HasOutput = true;
        ctx.Flags.HasInput = true;
        ctx.Flags.SupportedModel = true;
        tracedModel = kSupportedModelCode;
        headline = "Get Device Linked!!";
        f.Label4.FontColor = clNavy;
    }
    ShowStatus(ctx, headline);
    f.Label4.Caption = headline;

    const std::string address =
        std::to_string(reply[kAddress + 3]) + "." + std::to_string(reply[kAddress + 2]) + "." +
        std::to_string(reply[kAddress + 1]) + "." + std::to_string(reply[kAddress]);
    Trace(ctx, "DEV_ID => " + Hex2(tracedModel));
    if (address != link.DeviceIp) return;

    std::string mac;
    for (std::size_t i = 0; i < 6; ++i)
        mac += (i ? ":" : "") + Hex2(reply[kMac + i]);
    f.StatusBar1.Panels[0] = "Dev MAC: " + mac;

    info.ModbusIdleTimeout = reply.U16(kIdleTimeout);
    info.Location = TextAt(reply, kLocation);
    f.Label5.FontColor = kLocationColor;
    f.Label5.Caption = "Locate: " + info.Location;
    f.StatusBar3.Panels[1] = SdText(reply);
    f.StatusBar2.Panels[1] = "FW: V" + Hex2(reply[kFirmware]) + "." + Hex2(reply[kFirmware + 1]);

    info.ApSsid = TextAt(reply, kApSsid);
    info.ApKeyType = reply[kApKeyType];
    info.StaSsid = TextAt(reply, kStaSsid);
    info.StaKeyType = reply[kStaKeyType];
    info.WifiMode = reply[kWifiMode];
    ctx.OutputState = reply[kOutput];
    ctx.InputState = reply[kInput];
    info.ModbusPort = reply.U16(kModbusPort);
    info.StaticIpEnabled = reply[kStaticFlag] != 0;
    info.StaticIp = QuadAt(reply, kStaticIp);
    info.NetMask = QuadAt(reply, kNetMask);
    info.Gateway = QuadAt(reply, kGateway);

    const std::uint16_t rssi = reply.U16(kRssi);
    if (RssiKnown(rssi)) f.Label12.Caption = RssiText(rssi);
    info.DeviceMode = reply[kDeviceMode];
    f.StatusBar3.Panels[0] = "Device Mode: " + std::to_string(info.DeviceMode);
    info.Armed = reply[kArmed];
    Trace(ctx, "ARMED :" + std::to_string(info.Armed));
    UpdateIndicators(ctx);
    ctx.Flags.DeviceInfoValid = true;
    ctx.Flags.DeviceInfoShown = true;
    link.PendingCode = 0;
}

}  // namespace kstbell
