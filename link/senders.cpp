#include "link/device_link.h"
#include "locate/locate.h"

namespace kstbell {

namespace {

// Records the code whose answer is awaited and puts it in the request.
void Prepare(TContext& ctx, std::uint8_t code) {
    ctx.Link.PendingCode = code;
    ctx.Link.Request[4] = code;
}

void PrepareChecksum(TContext& ctx, std::uint8_t code, std::uint32_t sum) {
    Prepare(ctx, code);
    PutU32(ctx.Link.Request, 5, sum);
}

}  // namespace

void RequestDeviceInfo(TContext& ctx) {
    if (!LinkFree(ctx.Link)) return;
    Prepare(ctx, CMD_GET_DEVICE_INFO);
    ctx.Link.Request[5] = 0;
    ctx.Link.Request[6] = 0;
    RunTransaction(ctx, 7);
}

void RequestStatus(TContext& ctx) {
    if (!LinkFree(ctx.Link)) return;
    Prepare(ctx, CMD_GET_STATUS);
    RunTransaction(ctx, 5);
}

bool RequestReset(TContext& ctx) {
    if (LocateDevice(ctx) != 1) return false;
    if (!LinkFree(ctx.Link)) return true;
    Prepare(ctx, CMD_M4_RESET);
    SendOnly(ctx, 5);
    return true;
}

void RequestImageChecksum(TContext& ctx, std::uint32_t sum) {
    if (!LinkFree(ctx.Link)) return;
    PrepareChecksum(ctx, CMD_GET_IMAGE_CHECKSUM, sum);
    RunTransaction(ctx, 9);
}

void NotifyImageChecksum(TContext& ctx, std::uint32_t sum) {
    if (!LinkFree(ctx.Link)) return;
    PrepareChecksum(ctx, CMD_IMAGE_CHECKSUM_NOTIFY, sum);
    SendOnly(ctx, 9);
}

void RetryPending(TContext& ctx) {
    switch (ctx.Link.PendingCode) {
        case CMD_SET_LOCATOR:
            QueueFindMe(ctx);
            break;
        case CMD_GET_DEVICE_INFO:
            QueueDeviceInfo(ctx);
            break;
        case CMD_M4_RESET:
            RequestReset(ctx);
            break;
        default:
            break;
    }
}

}  // namespace kstbell
