#include "device/readings.h"

#include "device/relay_output.h"
#include "device/session.h"

namespace kstbell {

TStatusReading ReadStatus(TDeviceSession& s) {
    TStatusReading r;
    r.Outcome = RequestStatus(s);
    if (r.Outcome.Ok()) r.Status = s.LastStatus;
    return r;
}

TInfoReading ReadInfo(TDeviceSession& s) {
    TInfoReading r;
    r.Outcome = RequestDeviceInfo(s);
    if (r.Outcome.Ok()) {
        r.Info = s.LastReport;
        r.Supported = s.Flags.SupportedModel;
    }
    return r;
}

TRelayReading SwitchRelay(TDeviceSession& s, std::uint8_t value, std::uint8_t tone) {
    TRelayReading r;
    r.Outcome = SetRelayOutput(s, 1, value, tone);
    if (r.Outcome.Ok()) {
        r.Output = s.Link.Reply[6];
        r.Input = s.Link.Reply[7];
    }
    return r;
}

}  // namespace kstbell
