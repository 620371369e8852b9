#include "shell/setup_commits.h"

#include <string>

#include "device/device_actions.h"
#include "device/firmware_update.h"
#include "device/locate.h"
#include "device/settings.h"
#include "shell/commit_boxes.h"
#include "shell/context.h"

namespace kstbell {

namespace {

constexpr const char* kCredentialsError =
    "    . SSID must less then 31 chars.\n    . Key must around chars  8~14.\n    . If Open "
    "type selected, Key can be ignore.";
constexpr const char* kRebootToTakeEffect = ",\n    . Manual Reboot to take effect!";

const char* KeyTypeName(std::uint8_t type) {
    switch (type) {
        case kKeyOpen:
            return "OPEN";
        case kKeyWep:
            return "WEP";
        default:
            return "WPA/WPA2";
    }
}

// Takes a non-empty edit into its held text, traces its length and tells whether the length
// lies within the limits. An empty edit leaves the held text and is not valid.
bool TakeEntry(TContext& ctx, const std::string& edit, std::string& held, std::size_t min,
               std::size_t max) {
    if (edit.empty()) return false;
    held = edit;
    Trace(ctx.Session, std::to_string(held.size()));
    return held.size() >= min && held.size() <= max;
}

// Shows which field holds a control character, which no setting may hold; true when one does.
bool RefuseControlBytes(TContext& ctx, const char* field, const std::string& text) {
    if (!HasControlByte(text)) return false;
    ShowInputError(ctx, std::string("    . ") + field + " may not hold control characters.");
    return true;
}

// The SSID, and the key unless the network is open.
bool RefuseControlBytes(TContext& ctx, const TCredentials& c) {
    return RefuseControlBytes(ctx, "The SSID", c.Ssid) ||
           (c.KeyType != kKeyOpen && RefuseControlBytes(ctx, "The key", c.Key));
}

std::string ConfirmText(const char* head, const TCredentials& c) {
    return std::string(head) + "\n    . SSID: " + c.Ssid + "\n" + "    . Type: [" +
           std::to_string(c.KeyType) + "] " + KeyTypeName(c.KeyType) + "\n" + "    . KEY: " + c.Key;
}

void ShowModbusError(TContext& ctx, const TOutcome& o) {
    std::string text = o.Message;
    const char* caption = "Modbus port input Error";
    switch (o.Invalid) {
        case TInvalid::PortInUse:
            text = "Port already used!";
            break;
        case TInvalid::PortRange:
            text = "Port number over range!";
            caption = "Modbus port range Error";
            break;
        case TInvalid::TimeoutNotNumber:
            caption = "Modbus Idle Timeout input Error";
            break;
        case TInvalid::TimeoutRange:
            text = "Timeout range must in 1 ~ 65000 Sec! Recommend 30 Sec.";
            caption = "Modbus Idle Timeout input Error";
            break;
        default:
            break;
    }
    ctx.Host.MessageBox(text, caption, TMsgButtons::Ok, TMsgIcon::None);
}

// What an upload ended with, beyond what the status bar and the checksum verdict showed.
void ShowFirmwareOutcome(TContext& ctx, const TOutcome& o) {
    if (o.Ok() || o.Kind == TOutcomeKind::VerifyFailed || o.Command == CMD_IMAGE_CHECKSUM_NOTIFY)
        return;
    if (o.Kind == TOutcomeKind::InvalidInput) {
        if (o.Invalid == TInvalid::ImageUnreadable)
            ShowInputError(ctx,
                           "The firmware file " + o.Path + " cannot be read: " + o.Message + ".");
        if (o.Invalid == TInvalid::ImageNotFile)
            ShowInputError(ctx, "The firmware file " + o.Path + " is " + o.Message +
                                    ", not a file. Nothing was sent.");
        if (o.Invalid == TInvalid::ImageEmpty)
            ShowInputError(ctx, "The firmware file " + o.Path +
                                    " is empty: the device would be left without firmware. "
                                    "Nothing was sent.");
        return;  // a too long image: the status bar says so
    }
    if (o.Phase == TPhase::Checksum) {
        ShowInputError(ctx, "The device did not confirm the firmware image: " + FailureReason(o) +
                                ".\nIt may not be stored. Please upload it again.");
        return;
    }
    ShowInputError(ctx, "The firmware image could not be sent:\n" + FailureReason(o));
}

}  // namespace

void CommitApCredentials(TContext& ctx) {
    auto& w = ctx.Form2;
    const bool ssidValid = TakeEntry(ctx, w.Edit1.Text, w.HeldApSsid, 1, kMaxSsid);
    const bool keyValid = TakeEntry(ctx, w.Edit2.Text, w.HeldApKey, kMinKey, kMaxKey);
    std::uint8_t type = kKeyOpen;
    if (!w.RadioButton1) {
        type = kKeyWpa;
        w.RadioButton2 = true;
    }
    if (!ssidValid || (type == kKeyWpa && !keyValid)) {
        ShowInputError(ctx, kCredentialsError);
        return;
    }
    const TCredentials c{w.HeldApSsid, type, w.HeldApKey};
    if (RefuseControlBytes(ctx, c)) return;
    if (!Confirm(ctx, ConfirmText("Modify AP SSID, execute?", c))) return;
    FinishSetting(ctx, WriteApCredentials(ctx.Session, c),
                  std::string("AP SSID write complete") + kRebootToTakeEffect);
}

void CommitStationCredentials(TContext& ctx) {
    auto& w = ctx.Form2;
    const bool ssidValid = TakeEntry(ctx, w.Edit3.Text, w.HeldStaSsid, 1, kMaxSsid);
    const bool keyValid = TakeEntry(ctx, w.Edit4.Text, w.HeldStaKey, kMinKey, kMaxKey);
    const std::uint8_t type = w.RadioButton3 ? kKeyOpen : w.RadioButton4 ? kKeyWep : kKeyWpa;
    if (!ssidValid || (type != kKeyOpen && !keyValid)) {
        ShowInputError(ctx, kCredentialsError);
        return;
    }
    const TCredentials c{w.HeldStaSsid, type, w.HeldStaKey};
    if (RefuseControlBytes(ctx, c)) return;
    if (!Confirm(ctx, ConfirmText("Modify STA SSID, execute?", c))) return;
    FinishSetting(ctx, WriteStationCredentials(ctx.Session, c),
                  std::string("STA SSID write complete") + kRebootToTakeEffect);
}

void CommitStaticIp(TContext& ctx) {
    auto& w = ctx.Form2;
    if (!w.CheckBox1) {
        if (!Confirm(ctx, "Delete Station Static IP config, execute?\n")) return;
        FinishSetting(ctx, DeleteStaticAddress(ctx.Session),
                      std::string("Station Static IP delete complete") + kRebootToTakeEffect);
        return;
    }
    TStaticAddress address;
    if (!ParseStaticAddress(w.Edit8.Text, w.Edit9.Text, w.Edit10.Text, address).Ok()) {
        ShowInputError(ctx, "    . IP, Mask, Gateway input error.\n");
        return;
    }
    if (!Confirm(ctx, "Modify Station Static IP, Mask, Gateway, execute?\n    . IP: " +
                          w.Edit8.Text + "\n" + "    . Mask: " + w.Edit9.Text + "\n" +
                          "    . Gateway: " + w.Edit10.Text))
        return;
    FinishSetting(ctx, WriteStaticAddress(ctx.Session, address),
                  std::string("Station Static IP write complete") + kRebootToTakeEffect);
}

void CommitWebKey(TContext& ctx) {
    auto& w = ctx.Form2;
    bool valid = false;
    if (!w.Edit6.Text.empty()) {
        w.HeldWebKey = w.Edit6.Text;
        Trace(ctx.Session, std::to_string(w.HeldWebKey.size()));
        valid = w.HeldWebKey.size() <= kMaxWebKey;
    }
    if (!valid) {
        ShowInputError(ctx, "    . WEB Key must be 5 chars.");
        return;
    }
    if (RefuseControlBytes(ctx, "The WEB Key", w.HeldWebKey)) return;
    if (!Confirm(ctx, "Modify WEB Key, execute?\n    . WEB Key: " + w.HeldWebKey + ".\n")) return;
    if (LocateDevice(ctx.Session) != 1) return;
    const TOutcome sent = SendWebLoginKey(ctx.Session, w.HeldWebKey);
    Trace(ctx.Session, "WEB Key =" + w.HeldWebKey);
    FinishSetting(ctx, sent, "WEB Key write complete,\n    .Take effect immediately.");
}

void CommitLocation(TContext& ctx) {
    const std::string location = ctx.Form2.Edit5.Text;
    bool valid = false;
    if (!location.empty()) {
        Trace(ctx.Session, std::to_string(location.size()));
        valid = location.size() <= kMaxLocation;
    }
    if (!valid) {
        ShowInputError(ctx, "    . Location string must less then 31 chars.");
        return;
    }
    if (RefuseControlBytes(ctx, "The location", location)) return;
    if (!Confirm(ctx, "Modify Location string, execute?\n    . Location: " + location + ".\n"))
        return;
    FinishSetting(ctx, WriteLocation(ctx.Session, location),
                  std::string("Location string write complete") + kRebootToTakeEffect);
}

void CommitModbusSettings(TContext& ctx) {
    TModbusSettings m;
    if (const TOutcome parsed = ParseModbusSettings(ctx.Form2.Edit7.Text, ctx.Form2.Edit12.Text, m);
        !parsed.Ok()) {
        ShowModbusError(ctx, parsed);
        return;
    }
    if (!Confirm(ctx, "Modify Modbus Port & Idle Timeout, execute?\n    . Port: " +
                          std::to_string(m.Port) +
                          ", Idle Timeout: " + std::to_string(m.IdleTimeout) + "."))
        return;
    FinishSetting(ctx, WriteModbusSettings(ctx.Session, m),
                  std::string("Modify Modbus Port, Timeout write complete") + kRebootToTakeEffect);
}

void WifiModeAction(TContext& ctx) {
    const bool accessPoint = ctx.Form2.RadioButton6;
    const std::string mode = accessPoint ? "AP Mode" : "Station Mode";
    if (!Confirm(ctx, "Modify Wi-Fi Mode, execute?\n    . Wi-Fi Mode: " + mode +
                          ".\n    . Device will Reboot immediately!"))
        return;
    FinishSetting(ctx, SetWifiMode(ctx.Session, accessPoint),
                  "Wi-Fi Mode write complete,\n    . Reboot complete.");
}

void ResetToDefaultAction(TContext& ctx) {
    if (!Confirm(ctx, "Reset to default setting, execute?\n    . Device will Reboot immediately!"))
        return;
    FinishSetting(ctx, ResetToDefault(ctx.Session, 1),
                  "Reset default complete,\n    . Reboot complete.");
}

void RebootAction(TContext& ctx) {
    if (!Confirm(ctx, "Reboot device, execute?")) return;
    FinishSetting(ctx, RequestReset(ctx.Session), "Reboot complete.");
}

void UpdateFirmware(TContext& ctx) {
    const auto chosen = ctx.Host.OpenFileDialog(kFirmwareFilter, kFirmwareDefaultExt);
    if (!chosen) return;
    ShowFirmwareOutcome(ctx, UploadFirmware(ctx.Session, *chosen));
}

void FirmwareUpdateAction(TContext& ctx) {
    if (!Confirm(ctx, "F/W Update, execute?")) return;
    if (LocateDevice(ctx.Session) == 1) UpdateFirmware(ctx);
}

}  // namespace kstbell
