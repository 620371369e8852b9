#include <array>

#include "link/device_link.h"
#include "link/ipv4_text.h"
#include "locate/locate.h"
#include "shell/convert.h"
#include "shell/display.h"

namespace kstbell {

namespace {

// Access points of the supported horn: the first four BSSID bytes and a range of the fifth.
constexpr const char* kMakerBssidPrefix = "02:4B:7A:3C";
constexpr std::uint8_t kMakerByteLow = 0x58;
constexpr std::uint8_t kMakerByteHigh = 0x8F;

bool FromMaker(const TNetworkMatch& match) {
    return match.BssidText.compare(0, 11, kMakerBssidPrefix) == 0 &&
           match.Bssid[4] >= kMakerByteLow && match.Bssid[4] <= kMakerByteHigh;
}

void Found(TContext& ctx) {
    const TNetworkMatch& match = ctx.Survey.Matches[0];
    ctx.Locate.LocalIp = match.Ipv4Text;
    Trace(ctx, "Local IP:" + ctx.Locate.LocalIp);
    // The access point's maker is only noted: a horn behind another access point still works.
    if (!FromMaker(match)) Trace(ctx, "Not kQZ product!!");
    ctx.Form1.StatusBar1.Panels[1] = "IP: " + ctx.Link.DeviceIp;
}

void NotFound(TContext& ctx) {
    auto& f = ctx.Form1;
    if (SurveyHostNetwork(ctx, ctx.Locate.DeviceNetPrefix) >= 1) {
        f.Label4.Caption = "Same multiple IP found!!";
    } else {
        ResetDisplay(ctx);
        f.Label4.Caption = "Device not found!!";
    }
    f.Label4.FontColor = clRed;
    f.Label5.Caption.clear();
    ctx.Flags.DeviceInfoValid = false;
}

}  // namespace

std::uint8_t LocateDevice(TContext& ctx) {
    const bool found = SurveyHostNetwork(ctx, ctx.Locate.DeviceNetPrefix) == 1;
    if (found)
        Found(ctx);
    else
        NotFound(ctx);
    ctx.Form1.Timer3Interval = 100;
    return found ? 1 : 0;
}

std::string ParseDeviceAddress(const std::string& text) {
    std::array<std::string, 4> parts;
    std::string copy = text;
    std::size_t prefixEnd = text.size();
    int dots = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '.') parts[static_cast<std::size_t>(dots)] += text[i];
        if (dots == 3) {
            copy[i] = ' ';
            prefixEnd = std::min(prefixEnd, i);
        }
        if (copy[i] == '.') ++dots;
    }
    for (const auto& part : parts)
        StrToInt(part);  // throws for the first that is no integer
    return copy.substr(0, prefixEnd);
}

void ApplyStaticIp(TContext& ctx) {
    const std::string text = ctx.Form1.Edit2Text;
    Trace(ctx, "Remote_ip Len => " + std::to_string(text.size()));
    std::string prefix = ParseDeviceAddress(text);
    // An address typed with leading zeros names the same device as its usual spelling, which
    // is what the device reports and what the network prefix must match.
    if (const auto canonical = CanonicalIpv4Text(text)) {
        ctx.Link.DeviceIp = *canonical;
        prefix = ParseDeviceAddress(*canonical);
    } else {
        ctx.Link.DeviceIp = text;
    }
    Trace(ctx, "cc3200_default_IP => " + prefix);
    ShowStatus(ctx, "Change IP => " + ctx.Link.DeviceIp);
    ctx.Locate.DeviceNetPrefix = prefix;
    LocateDevice(ctx);
}

}  // namespace kstbell
