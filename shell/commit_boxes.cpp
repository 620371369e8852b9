#include "shell/commit_boxes.h"

#include "device/file_transfer.h"
#include "protocol/commands.h"
#include "protocol/text.h"
#include "shell/context.h"

namespace kstbell {

namespace {

std::string CommandName(std::uint8_t code) {
    switch (code) {
        case CMD_SET_WEB_LOGIN_KEY:
            return "WEB key";
        case CMD_MODBUS_UPDATED:
            return "Modbus update notice";
        case CMD_SET_WIFI_MODE:
            return "Wi-Fi mode request";
        case CMD_KILL_CONFIG:
            return "reset request";
        case CMD_M4_RESET:
            return "reboot request";
        default:
            return "request " + std::to_string(code);
    }
}

std::string InvalidReason(const TOutcome& o) {
    switch (o.Invalid) {
        case TInvalid::PathTooLong:
            return "the path is longer than " +
                   std::to_string(o.Phase == TPhase::Header ? kMaxWritePath : kMaxDeletePath) +
                   " characters; nothing was sent";
        case TInvalid::ContentLength:
            return "the content length " + std::to_string(o.Total) + " is out of range";
        default:
            return o.Message.empty() ? "the values given are not valid" : o.Message;
    }
}

}  // namespace

bool Confirm(TContext& ctx, const std::string& text) {
    return ctx.Host.MessageBox(text, "Confirm", TMsgButtons::YesNo, TMsgIcon::Question) ==
           TMsgResult::Yes;
}

void ShowResult(TContext& ctx, const std::string& text) {
    ctx.Host.MessageBox(text, "Information", TMsgButtons::Ok, TMsgIcon::Information);
}

void ShowInputError(TContext& ctx, const std::string& text) {
    ctx.Host.MessageBox(text, kErrorCaption, TMsgButtons::Ok, TMsgIcon::Error);
}

std::string FailureReason(const TOutcome& o) {
    std::string reason;
    switch (o.Kind) {
        case TOutcomeKind::Done:
            return {};
        case TOutcomeKind::Busy:
            reason = o.Message.empty() ? "another request was using the link" : o.Message;
            break;
        case TOutcomeKind::Unreachable:
            reason = o.Phase == TPhase::DataConnect
                         ? "the data connection could not be made: " + o.Message
                         : std::string("the device could not be reached (Connect Timeout)");
            break;
        case TOutcomeKind::NoReply:
            reason = "the device did not answer";
            break;
        case TOutcomeKind::Refused:
            // A refusal is the device's own answer, whatever it refused.
            return "the device refused it (status 0x" + Hex2(o.Status) + ")";
        case TOutcomeKind::SocketError:
            reason = o.Phase == TPhase::Data
                         ? "the data connection broke off after " + std::to_string(o.Done) +
                               " of " + std::to_string(o.Total) + " bytes: " + o.Message
                         : o.Message;
            break;
        case TOutcomeKind::NotLocated:
            reason = "the device was not found on this PC's network";
            break;
        case TOutcomeKind::InvalidInput:
            return InvalidReason(o);
        case TOutcomeKind::VerifyFailed:
            return "the device's byte sum " + Hex8(o.DeviceSum) + " differs from " +
                   Hex8(o.LocalSum);
        case TOutcomeKind::Cancelled:
            return "it was cancelled before it was sent";
    }
    if (o.Phase == TPhase::Header) reason = "the header could not be sent: " + reason;
    return reason;
}

void FinishSetting(TContext& ctx, const TOutcome& o, const std::string& resultText) {
    if (o.Kind == TOutcomeKind::NotLocated) return;
    if (o.Ok()) {
        ShowResult(ctx, resultText);
        return;
    }
    const std::string text = !o.Path.empty()
                                 ? "The device file " + o.Path + " could not be changed:\n"
                                 : "The " + CommandName(o.Command) + " failed:\n";
    ShowInputError(ctx, text + FailureReason(o));
}

}  // namespace kstbell
