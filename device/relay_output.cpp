#include "device/relay_output.h"

#include <string>

#include "link/device_link.h"

namespace kstbell {

void SetRelayOutput(TContext& ctx, std::uint8_t loop, std::uint8_t value, std::uint8_t tone) {
    // A click while another transaction runs is dropped whole: no pending code, no trace.
    if (!LinkFree(ctx.Link)) return;
    auto& request = ctx.Link.Request;
    ctx.Link.PendingCode = CMD_SET_DO;
    request[4] = CMD_SET_DO;
    request[5] = loop;
    request[6] = value;
    request[7] = tone;
    RunTransaction(ctx, 8);
    Trace(ctx, "Loop:" + std::to_string(loop) + ",Val:" + std::to_string(value) +
                   ",mode:" + std::to_string(tone));
}

}  // namespace kstbell
