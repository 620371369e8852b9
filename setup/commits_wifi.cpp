// Access-point and station credentials.

#include <string>

#include "link/device_link.h"
#include "locate/locate.h"
#include "setup/commit_boxes.h"
#include "setup/commits.h"

namespace kstbell {

namespace {

constexpr std::size_t kMaxSsid = 31;
constexpr std::size_t kMinKey = 8;
constexpr std::size_t kMaxKey = 16;
constexpr int kPauseMs = 200;

constexpr const char* kCredentialsError =
    "    . SSID must less then 31 chars.\n    . Key must around chars  8~14.\n    . If Open "
    "type selected, Key can be ignore.";

const char* KeyTypeName(std::uint8_t type) {
    switch (type) {
        case 0:
            return "OPEN";
        case 1:
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
    Trace(ctx, std::to_string(held.size()));
    return held.size() >= min && held.size() <= max;
}

std::string ConfirmText(const char* head, const std::string& ssid, std::uint8_t type,
                        const std::string& key) {
    return std::string(head) + "\n    . SSID: " + ssid + "\n" + "    . Type: [" +
           std::to_string(type) + "] " + KeyTypeName(type) + "\n" + "    . KEY: " + key;
}

}  // namespace

void CommitApCredentials(TContext& ctx) {
    auto& w = ctx.Form2;
    const bool ssidValid = TakeEntry(ctx, w.Edit1.Text, w.HeldApSsid, 1, kMaxSsid);
    const bool keyValid = TakeEntry(ctx, w.Edit2.Text, w.HeldApKey, kMinKey, kMaxKey);
    std::uint8_t type = 0;
    if (!w.RadioButton1) {
        type = 2;
        w.RadioButton2 = true;
    }
    if (!ssidValid || (type == 2 && !keyValid)) {
        ShowInputError(ctx, kCredentialsError);
        return;
    }
    if (!Confirm(ctx, ConfirmText("Modify AP SSID, execute?", w.HeldApSsid, type, w.HeldApKey)))
        return;
    if (LocateDevice(ctx) != 1) return;
    if (type == 2) {
        if (!WriteFileStep(ctx, "/local/ap_key.cfg", w.HeldApKey)) return;
        Trace(ctx, "AP_KEY =" + w.HeldApKey);
    } else if (!DeleteFileStep(ctx, "/local/ap_key.cfg")) {
        return;
    }
    ctx.Host.Sleep(kPauseMs);
    if (!WriteFileStep(ctx, "/local/ap_ssid.cfg", w.HeldApSsid)) return;
    Trace(ctx, "AP_SSID =" + w.HeldApSsid);
    ShowResult(ctx, "AP SSID write complete,\n    . Manual Reboot to take effect!");
}

void CommitStationCredentials(TContext& ctx) {
    auto& w = ctx.Form2;
    const bool ssidValid = TakeEntry(ctx, w.Edit3.Text, w.HeldStaSsid, 1, kMaxSsid);
    const bool keyValid = TakeEntry(ctx, w.Edit4.Text, w.HeldStaKey, kMinKey, kMaxKey);
    const std::uint8_t type = w.RadioButton3 ? 0 : w.RadioButton4 ? 1 : 2;
    if (!ssidValid || (type != 0 && !keyValid)) {
        ShowInputError(ctx, kCredentialsError);
        return;
    }
    if (!Confirm(ctx, ConfirmText("Modify STA SSID, execute?", w.HeldStaSsid, type, w.HeldStaKey)))
        return;
    if (LocateDevice(ctx) != 1) return;
    if (type != 0) {
        if (!WriteFileStep(ctx, "/local/sta_key.cfg", w.HeldStaKey)) return;
        Trace(ctx, "STA_KEY =" + w.HeldStaKey);
    } else if (!DeleteFileStep(ctx, "/local/sta_key.cfg")) {
        return;
    }
    ctx.Host.Sleep(kPauseMs);
    const char typeByte = static_cast<char>(type);
    if (!WriteFileStep(ctx, "/local/sta_keyT.cfg", std::string_view(&typeByte, 1))) return;
    Trace(ctx, "STA_KTYPE =" + std::to_string(type));
    ctx.Host.Sleep(kPauseMs);
    if (!WriteFileStep(ctx, "/local/sta_ssid.cfg", w.HeldStaSsid)) return;
    Trace(ctx, "STA_SSID =" + w.HeldStaSsid);
    ShowResult(ctx, "STA SSID write complete,\n    . Manual Reboot to take effect!");
}

}  // namespace kstbell
