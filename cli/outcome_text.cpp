#include "cli/outcome_text.h"

#include "device/firmware_update.h"
#include "device/settings.h"
#include "protocol/commands.h"
#include "protocol/text.h"

namespace kstbell::cli {

namespace {

std::string CommandName(std::uint8_t code) {
    switch (code) {
        case CMD_SET_LOCATOR:
            return "find-me request";
        case CMD_GET_DEVICE_INFO:
            return "get-information request";
        case CMD_GET_STATUS:
            return "get-status request";
        case CMD_GET_IMAGE_CHECKSUM:
            return "image byte-sum request";
        case CMD_IMAGE_CHECKSUM_NOTIFY:
            return "image byte-sum notice";
        case CMD_M4_RESET:
            return "reboot request";
        case CMD_SET_WIFI_MODE:
            return "Wi-Fi mode request";
        case CMD_SET_WEB_LOGIN_KEY:
            return "web key request";
        case CMD_KILL_FILE:
            return "file delete request";
        case CMD_KILL_CONFIG:
            return "reset-to-default request";
        case CMD_FILE_HEADER:
        case CMD_IMAGE_HEADER_PLAIN:
            return "file header";
        case CMD_SET_DO:
            return "relay request";
        case CMD_MODBUS_UPDATED:
            return "Modbus update notice";
        default:
            return code == 0 ? "request" : "request " + std::to_string(code);
    }
}

std::string InvalidText(const TOutcome& o) {
    switch (o.Invalid) {
        case TInvalid::Ssid:
            return "the SSID must be 1 to " + std::to_string(kMaxSsid) + " bytes";
        case TInvalid::Key:
            return "the key must be " + std::to_string(kMinKey) + " to " + std::to_string(kMaxKey) +
                   " bytes, of a type the setting takes";
        case TInvalid::DottedQuad:
            return "\"" + o.Message + "\" is not four decimal numbers 0 to 255 joined by dots";
        case TInvalid::WebKey:
            return "the web key must be 1 to " + std::to_string(kMaxWebKey) + " bytes";
        case TInvalid::Location:
            return "the location must be 1 to " + std::to_string(kMaxLocation) + " bytes";
        case TInvalid::PortNotNumber:
            return "the Modbus port: " + o.Message;
        case TInvalid::PortInUse:
            return "the Modbus port may be neither the device's command port 13577 nor 80";
        case TInvalid::PortRange:
            return "the Modbus port must be 1 to 65535";
        case TInvalid::TimeoutNotNumber:
            return "the Modbus idle timeout: " + o.Message;
        case TInvalid::TimeoutRange:
            return "the Modbus idle timeout must be 1 to " + std::to_string(kMaxModbusTimeout) +
                   " seconds";
        case TInvalid::PathTooLong:
            return "the device path " + o.Path + " is too long";
        case TInvalid::ContentLength:
            return "the content length " + std::to_string(o.Total) + " is out of range";
        case TInvalid::ImageUnreadable:
            return "cannot read the image " + o.Path + ": " + o.Message;
        case TInvalid::ImageNotFile:
            return "the image " + o.Path + " is " + o.Message + ", not a file";
        case TInvalid::ImageEmpty:
            return "the image " + o.Path + " is empty";
        case TInvalid::ImageTooLong:
            return "the image " + o.Path + " is " + std::to_string(o.Total) +
                   " bytes; the device takes at most " + std::to_string(MaxImageLength);
        case TInvalid::ControlByte:
            return o.Message + " may not hold control characters (bytes 0 to 31 and 127)";
        case TInvalid::None:
            break;
    }
    return o.Message.empty() ? "the values given are not valid" : o.Message;
}

std::string Where(const TOutcome& o) {
    switch (o.Phase) {
        case TPhase::Header:
            return " (announcing " + (o.Path.empty() ? std::string("the file") : o.Path) + ")";
        case TPhase::DataConnect:
        case TPhase::Data:
            return " (sending " + (o.Path.empty() ? std::string("the data") : o.Path) + ")";
        case TPhase::Checksum:
            return " (the stored image was not confirmed)";
        case TPhase::Request:
            break;
    }
    return o.Path.empty() ? std::string() : " (" + o.Path + ")";
}

}  // namespace

std::string OutcomeMessage(const TOutcome& o) {
    switch (o.Kind) {
        case TOutcomeKind::Done:
            return "done";
        case TOutcomeKind::Refused:
            return "the device refused the " + CommandName(o.Command) + " (status 0x" +
                   Hex2(o.Status) + ")" + Where(o);
        case TOutcomeKind::NoReply:
            return "no answer to the " + CommandName(o.Command) + " in time" + Where(o);
        case TOutcomeKind::Unreachable:
            return "no connection" + (o.Message.empty() ? std::string() : ": " + o.Message) +
                   Where(o);
        case TOutcomeKind::SocketError:
            if (o.Phase == TPhase::Data)
                return "the connection broke after " + std::to_string(o.Done) + " of " +
                       std::to_string(o.Total) + " bytes: " + o.Message;
            return "the connection broke: " + o.Message + Where(o);
        case TOutcomeKind::NotLocated:
            return o.Message.empty() ? "this PC is not on the device's Wi-Fi network" : o.Message;
        case TOutcomeKind::Busy:
            return o.Message.empty() ? "another request was using the link" : o.Message;
        case TOutcomeKind::InvalidInput:
            return InvalidText(o);
        case TOutcomeKind::VerifyFailed:
            if (!o.Message.empty()) return o.Message;
            return "the device's byte sum 0x" + Hex8(o.DeviceSum) +
                   " of the stored image differs from 0x" + Hex8(o.LocalSum);
        case TOutcomeKind::Cancelled:
            return o.Message.empty() ? "cancelled before it was sent" : o.Message;
    }
    return "failed";
}

nlohmann::ordered_json ErrorJson(const TOutcome& o) {
    nlohmann::ordered_json error{{"kind", OutcomeKindName(o.Kind)}, {"message", OutcomeMessage(o)}};
    if (o.Kind == TOutcomeKind::Refused) error["status"] = o.Status;
    if (!o.Path.empty()) error["path"] = o.Path;
    if (o.Kind == TOutcomeKind::VerifyFailed && o.Message.empty()) {
        error["device_sum"] = o.DeviceSum;
        error["image_sum"] = o.LocalSum;
    }
    if (o.Phase == TPhase::Data) {
        error["bytes_sent"] = o.Done;
        error["bytes_total"] = o.Total;
    }
    return error;
}

nlohmann::ordered_json ErrorJson(const TOutcome& o, const std::string& context) {
    nlohmann::ordered_json error = ErrorJson(o);
    error["message"] = context + ": " + error["message"].get<std::string>();
    return error;
}

}  // namespace kstbell::cli
