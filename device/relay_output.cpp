#include "device/relay_output.h"

#include <string>

#include "device/session.h"

namespace kstbell {

TOutcome SetRelayOutput(TDeviceSession& s, std::uint8_t loop, std::uint8_t value,
                        std::uint8_t tone) {
    // A request while another transaction runs is dropped whole: no pending code, no trace.
    if (!LinkFree(s.Link)) return LinkOutcome(s, CMD_SET_DO);
    auto& request = s.Link.Request;
    s.Link.PendingCode = CMD_SET_DO;
    request[4] = CMD_SET_DO;
    request[5] = loop;
    request[6] = value;
    request[7] = tone;
    RunTransaction(s, 8);
    Trace(s, "Loop:" + std::to_string(loop) + ",Val:" + std::to_string(value) +
                 ",mode:" + std::to_string(tone));
    return LinkOutcome(s, CMD_SET_DO);
}

}  // namespace kstbell
