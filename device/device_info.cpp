#include <string>

#include "device/session.h"
#include "protocol/text.h"

namespace kstbell {

void DecodeDeviceInfo(TDeviceSession& s) {
    auto& link = s.Link;
    link.PendingCode = 0;
    const TDeviceInfo decoded = DecodeInfoReply(link.Reply);
    s.LastReport = decoded;
    const bool supported = decoded.Model == kSupportedModelCode;
    s.Flags.SupportedModel = supported;
    if (supported) {
        s.Flags.HasOutput = true;
        s.Flags.HasInput = true;
    }
    Trace(s, "DEV_ID => " + Hex2(supported ? kSupportedModelCode : 0));
    // A reply from another address than the one asked counts only for its model.
    const bool forThisDevice = AddressText(decoded.Address) == link.DeviceIp;
    if (!forThisDevice) {
        s.Tell([&](IDeviceObserver& o) { o.OnInfoDecoded(decoded, false); });
        return;
    }
    s.DeviceInfo = decoded;
    s.Tell([&](IDeviceObserver& o) { o.OnInfoDecoded(decoded, true); });
    Trace(s, "ARMED :" + std::to_string(decoded.Armed));
    SetStates(s, decoded.Output, decoded.Input);
    s.Flags.DeviceInfoValid = true;
    s.Flags.DeviceInfoShown = true;
    link.PendingCode = 0;
}

}  // namespace kstbell
