#include "link/device_link.h"

namespace kstbell {

void QueueFindMe(TContext& ctx) {
    ctx.Link.PendingCode = CMD_SET_LOCATOR;
    ctx.Link.Request[4] = CMD_SET_LOCATOR;
    ctx.Poll.QueuedCode = CMD_SET_LOCATOR;
}

void QueueDeviceInfo(TContext& ctx) {
    if (ctx.Locator.LocateDevice() != 1) return;
    auto& link = ctx.Link;
    link.PendingCode = CMD_GET_DEVICE_INFO;
    link.Request[4] = CMD_GET_DEVICE_INFO;
    link.Request[5] = 0;
    link.Request[6] = 0;
    ctx.Poll.QueuedParams[0] = 0;
    ctx.Poll.QueuedParams[1] = 0;
    ctx.Poll.QueuedCode = CMD_GET_DEVICE_INFO;
}

}  // namespace kstbell
