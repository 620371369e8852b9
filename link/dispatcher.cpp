#include "link/device_link.h"
#include "link/text.h"
#include "shell/display.h"

namespace kstbell {

namespace {

constexpr const char* kChecksumMatchText = "F/W update Complete! Reboot to take effect";
constexpr const char* kChecksumMismatchText = "Update F/W fail with Error! Please retry again.";

bool Accepted(const TReplyFrame& reply) {
    return reply[5] == STATUS_ACK;
}

// Output, input, signal strength and armed state of a status reply.
void DecodeStatus(TContext& ctx) {
    const auto& reply = ctx.Link.Reply;
    ctx.OutputState = reply[6];
    ctx.InputState = reply[7];
    const std::uint16_t rssi = reply.U16(8);
    if (rssi != 0) ctx.Form1.Label12.Caption = RssiText(rssi);
    ctx.DeviceInfo.Armed = reply[12];
    UpdateIndicators(ctx);
    ctx.Link.PendingCode = 0;
}

// Compares the device's sum of the stored image with the sum of the image that was sent.
void CompareImageChecksum(TContext& ctx) {
    const std::uint32_t deviceSum = ctx.Link.Reply.U32(6);
    const bool match =
        (ctx.ImageSum >> 32) == 0 && static_cast<std::uint32_t>(ctx.ImageSum) == deviceSum;
    const char* text = match ? kChecksumMatchText : kChecksumMismatchText;
    ShowStatus(ctx, text);
    ctx.Host.MessageBox(text, text, TMsgButtons::Ok, match ? TMsgIcon::None : TMsgIcon::Error);
    // The reset cannot go out while this transaction still holds the link.
    if (match) ctx.Link.ResetAfterTransaction = true;
}

}  // namespace

void DispatchReply(TContext& ctx, std::size_t count) {
    if (count == 0) return;
    auto& link = ctx.Link;
    const auto& reply = link.Reply;
    if (!reply.HasMagic()) {
        ShowStatus(ctx, "InValid Header package!");
        return;
    }
    if (link.PendingCode == 0) {
        if (reply[4] == CMD_GET_STATUS && Accepted(reply)) DecodeStatus(ctx);
        return;
    }
    switch (link.PendingCode) {
        case CMD_SET_LOCATOR:
            if (Accepted(reply)) {
                link.PendingCode = 0;
                ShowStatus(ctx, "Set Locator done!");
            } else {
                RetryPending(ctx);
            }
            break;
        case CMD_GET_DEVICE_INFO:
            if (Accepted(reply))
                DecodeDeviceInfo(ctx);
            else
                RetryPending(ctx);
            break;
        case CMD_M4_RESET:
            if (Accepted(reply)) {
                link.PendingCode = 0;
                ShowStatus(ctx, "M4 Reset Execute!");
            } else {
                RetryPending(ctx);
            }
            break;
        case CMD_GET_IMAGE_CHECKSUM:
            if (reply[4] == CMD_GET_IMAGE_CHECKSUM && Accepted(reply)) CompareImageChecksum(ctx);
            link.PendingCode = 0;
            break;
        case CMD_KILL_FILE:
            if (Accepted(reply)) {
                link.PendingCode = 0;
                ShowStatus(ctx, "Kill file in Flash Done!");
            }
            break;
        case CMD_KILL_CONFIG:
            if (Accepted(reply)) {
                link.PendingCode = 0;
                ShowStatus(ctx, "Flash Config been kill!");
            }
            break;
        case CMD_SET_DO:
            if (Accepted(reply)) {
                ctx.OutputState = reply[6];
                ctx.InputState = reply[7];
                UpdateIndicators(ctx);
                link.PendingCode = 0;
                ShowStatus(ctx, "Set DO Done! DI:" + Hex2(ctx.InputState));
            }
            break;
        case CMD_GET_STATUS:
            if (Accepted(reply)) DecodeStatus(ctx);
            break;
        default:
            break;
    }
}

}  // namespace kstbell
