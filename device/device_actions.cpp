#include "device/device_actions.h"

#include "device/locate.h"
#include "device/session.h"

namespace kstbell {

namespace {

// Sends a command after which the device restarts at once.
TOutcome SendRestarting(TDeviceSession& s, std::uint8_t code, std::uint8_t parameter) {
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    if (LinkFree(s.Link)) {
        s.Link.Request[5] = parameter;
        s.Link.PendingCode = code;
        s.Link.Request[4] = code;
        RunTransaction(s, 6);
    }
    TOutcome o = LinkOutcome(s, code);
    if (o.Kind == TOutcomeKind::NoReply) o.Kind = TOutcomeKind::Done;
    return o;
}

}  // namespace

TOutcome SetWifiMode(TDeviceSession& s, bool accessPoint) {
    return SendRestarting(s, CMD_SET_WIFI_MODE, accessPoint ? kAccessPointMode : kStationMode);
}

TOutcome ResetToDefault(TDeviceSession& s, std::uint8_t parameter) {
    return SendRestarting(s, CMD_KILL_CONFIG, parameter);
}

}  // namespace kstbell
