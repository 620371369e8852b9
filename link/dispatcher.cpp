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

// The awaited answer came: nothing is pending any more, and the panel says so.
void Acknowledge(TContext& ctx, std::string text) {
    ctx.Link.PendingCode = 0;
    ShowStatus(ctx, std::move(text));
}

// Output, input, signal strength and armed state of a status reply.
void DecodeStatus(TContext& ctx) {
    const auto& reply = ctx.Link.Reply;
    ctx.OutputState = reply[6];
    ctx.InputState = reply[7];
    const std::uint16_t rssi = reply.U16(8);
    if (RssiKnown(rssi)) ctx.Form1.Label12.Caption = RssiText(rssi);
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
    // A reply is taken as the answer to the pending command only when it names that command;
    // any other reply is treated as unsolicited: only an accepted status is applied.
    if (link.PendingCode == 0 || reply[4] != link.PendingCode) {
        if (reply[4] == CMD_GET_STATUS && Accepted(reply)) DecodeStatus(ctx);
        return;
    }
    const bool accepted = Accepted(reply);
    switch (link.PendingCode) {
        case CMD_SET_LOCATOR:
            accepted ? Acknowledge(ctx, "Set Locator done!") : RetryPending(ctx);
            break;
        case CMD_GET_DEVICE_INFO:
            accepted ? DecodeDeviceInfo(ctx) : RetryPending(ctx);
            break;
        case CMD_M4_RESET:
            accepted ? Acknowledge(ctx, "M4 Reset Execute!") : RetryPending(ctx);
            break;
        case CMD_GET_IMAGE_CHECKSUM:
            if (accepted) CompareImageChecksum(ctx);
            link.PendingCode = 0;
            break;
        case CMD_KILL_FILE:
            if (accepted) Acknowledge(ctx, "Kill file in Flash Done!");
            break;
        case CMD_KILL_CONFIG:
            if (accepted) Acknowledge(ctx, "Flash Config been kill!");
            break;
        case CMD_SET_DO:
            if (accepted) {
                ctx.OutputState = reply[6];
                ctx.InputState = reply[7];
                UpdateIndicators(ctx);
                Acknowledge(ctx, "Set DO Done! DI:" + Hex2(ctx.InputState));
            }
            break;
        case CMD_GET_STATUS:
            if (accepted) DecodeStatus(ctx);
            break;
        default:
            break;  // no handling: the code stays pending until the polling check clears it
    }
}

}  // namespace kstbell
