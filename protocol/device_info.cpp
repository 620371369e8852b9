#include "protocol/device_info.h"

namespace kstbell {

namespace {

// Reply offsets of the information reply.
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

// A text field: bytes up to the first zero, at most 31 of them.
std::string TextAt(const TReplyFrame& reply, std::size_t at) {
    std::string text;
    for (std::size_t i = 0; i < kMaxDeviceText && reply[at + i] != 0; ++i)
        text.push_back(static_cast<char>(reply[at + i]));
    return text;
}

std::array<std::uint8_t, 4> QuadAt(const TReplyFrame& reply, std::size_t at) {
    return {reply[at], reply[at + 1], reply[at + 2], reply[at + 3]};
}

}  // namespace

TDeviceInfo DecodeInfoReply(const TReplyFrame& reply) {
    TDeviceInfo info;
    info.Model = reply[kModel];
    info.Address = {reply[kAddress + 3], reply[kAddress + 2], reply[kAddress + 1], reply[kAddress]};
    for (std::size_t i = 0; i < info.Mac.size(); ++i)
        info.Mac[i] = reply[kMac + i];
    info.SdPresent = reply[kSdPresent] != 0;
    info.SdSize = {reply[kSdSize], reply[kSdSize + 1]};
    info.SdFree = {reply[kSdFree], reply[kSdFree + 1]};
    info.FirmwareMajor = reply[kFirmware];
    info.FirmwareMinor = reply[kFirmware + 1];
    info.ModbusIdleTimeout = reply.U16(kIdleTimeout);
    info.Location = TextAt(reply, kLocation);
    info.ApSsid = TextAt(reply, kApSsid);
    info.ApKeyType = reply[kApKeyType];
    info.StaSsid = TextAt(reply, kStaSsid);
    info.StaKeyType = reply[kStaKeyType];
    info.WifiMode = reply[kWifiMode];
    info.Output = reply[kOutput];
    info.Input = reply[kInput];
    info.ModbusPort = reply.U16(kModbusPort);
    info.StaticIpEnabled = reply[kStaticFlag] != 0;
    info.StaticIp = QuadAt(reply, kStaticIp);
    info.NetMask = QuadAt(reply, kNetMask);
    info.Gateway = QuadAt(reply, kGateway);
    info.RssiRaw = reply.U16(kRssi);
    info.DeviceMode = reply[kDeviceMode];
    info.Armed = reply[kArmed];
    return info;
}

TDeviceStatus DecodeStatusReply(const TReplyFrame& reply) {
    return {reply[6], reply[7], reply.U16(8), reply[12]};
}

std::string AddressText(const std::array<std::uint8_t, 4>& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

}  // namespace kstbell
