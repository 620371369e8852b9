#include "device/locate.h"

#include "device/session.h"
#include "protocol/address_text.h"
#include "protocol/ipv4_text.h"

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

void Found(TDeviceSession& s) {
    const TNetworkMatch& match = s.Survey.Matches[0];
    s.Locate.LocalIp = match.Ipv4Text;
    Trace(s, "Local IP:" + s.Locate.LocalIp);
    // The access point's maker is only noted: a horn behind another access point still works.
    if (!FromMaker(match)) Trace(s, "Not kQZ product!!");
    s.Tell([](IDeviceObserver& o) { o.OnLocated(TLocateResult::Found); });
}

void NotFound(TDeviceSession& s) {
    const bool several = SurveyHostNetwork(s, s.Locate.DeviceNetPrefix) >= 1;
    if (!several) ClearShownState(s);
    s.Flags.DeviceInfoValid = false;
    const auto result = several ? TLocateResult::Multiple : TLocateResult::NotFound;
    s.Tell([&](IDeviceObserver& o) { o.OnLocated(result); });
}

}  // namespace

std::uint8_t LocateDevice(TDeviceSession& s) {
    if (!s.Locate.CheckHostNetwork) {
        s.Tell([](IDeviceObserver& o) { o.OnLocated(TLocateResult::Found); });
        return 1;
    }
    const bool found = SurveyHostNetwork(s, s.Locate.DeviceNetPrefix) == 1;
    if (found)
        Found(s);
    else
        NotFound(s);
    return found ? 1 : 0;
}

void ApplyStaticIp(TDeviceSession& s, const std::string& text) {
    Trace(s, "Remote_ip Len => " + std::to_string(text.size()));
    std::string prefix = ParseDeviceAddress(text);
    // An address typed with leading zeros names the same device as its usual spelling, which
    // is what the device reports and what the network prefix must match.
    if (const auto canonical = CanonicalIpv4Text(text)) {
        s.Link.DeviceIp = *canonical;
        prefix = ParseDeviceAddress(*canonical);
    } else {
        s.Link.DeviceIp = text;
    }
    Trace(s, "cc3200_default_IP => " + prefix);
    Note(s, TNoteKind::AddressChanged, 0, s.Link.DeviceIp);
    s.Locate.DeviceNetPrefix = prefix;
    LocateDevice(s);
}

}  // namespace kstbell
