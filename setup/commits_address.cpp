// Station static address, WEB login key, location and Modbus TCP settings.

#include <algorithm>
#include <string>

#include "device/file_transfer.h"
#include "link/device_link.h"
#include "locate/locate.h"
#include "setup/commit_boxes.h"
#include "setup/commits.h"
#include "shell/convert.h"

namespace kstbell {

namespace {

constexpr std::size_t kMaxLocation = 31;
constexpr std::size_t kMaxWebKey = 5;
constexpr std::size_t kMaxDottedQuadText = 255;
constexpr int kModbusPause = 300;

void ShowModbusError(TContext& ctx, const std::string& text, const char* caption) {
    ctx.Host.MessageBox(text, caption, TMsgButtons::Ok, TMsgIcon::None);
}

std::optional<TTransferResult> SendWebLoginKeyChecked(TContext& ctx) {
    const std::string& key = ctx.Form2.HeldWebKey;
    // A key its commit refused is still held; it never goes out (nor overruns the request).
    if (key.size() > kMaxWebKey)
        return TTransferResult{false, "the WEB key is longer than " + std::to_string(kMaxWebKey) +
                                          " bytes; nothing was sent"};
    auto& request = ctx.Link.Request;
    request[5] = static_cast<std::uint8_t>(key.size());
    for (std::size_t i = 0; i < key.size(); ++i)
        request[6 + i] = static_cast<std::uint8_t>(key[i]);
    return SendLocated(ctx, CMD_SET_WEB_LOGIN_KEY, static_cast<std::uint8_t>(6 + key.size()));
}

}  // namespace

bool IsDottedQuad(const std::string& text) {
    if (text.size() > kMaxDottedQuadText) return false;
    if (std::count(text.begin(), text.end(), '.') != 3) return false;
    int octets = 0;
    int dots = 0;
    std::string digits;
    auto endOctet = [&] {
        if (digits.empty()) return false;
        try {
            if (StrToInt(digits) > 255) return false;
        } catch (const TConversionError&) {
            return false;
        }
        ++octets;
        digits.clear();
        return true;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            ++dots;
            if (!endOctet()) return false;
            continue;
        }
        if (c < '0' || c > '9') return false;
        digits += c;
        if (i + 1 == text.size() && dots == 3 && !endOctet()) return false;
    }
    return octets == 4;
}

std::array<std::uint8_t, 4> DottedQuadBytes(const std::string& text) {
    std::array<std::uint8_t, 4> bytes{};
    std::size_t part = 0;
    unsigned value = 0;
    for (char c : text) {
        if (c == '.') {
            bytes[part++] = static_cast<std::uint8_t>(value);
            value = 0;
        } else {
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
    }
    bytes[part] = static_cast<std::uint8_t>(value);
    return bytes;
}

void CommitStaticIp(TContext& ctx) {
    auto& w = ctx.Form2;
    if (!w.CheckBox1) {
        if (!Confirm(ctx, "Delete Station Static IP config, execute?\n")) return;
        if (LocateDevice(ctx) != 1) return;
        if (!DeleteFileStep(ctx, "/local/sta_ip.cfg")) return;
        ShowResult(ctx, "Station Static IP delete complete,\n    . Manual Reboot to take effect!");
        return;
    }
    std::string content;
    for (const TEditState* edit : {&w.Edit8, &w.Edit9, &w.Edit10}) {
        if (!IsDottedQuad(edit->Text)) {
            ShowInputError(ctx, "    . IP, Mask, Gateway input error.\n");
            return;
        }
        // Octets are read as the decimal numbers the check accepted: 010 is 10.
        for (std::uint8_t b : DottedQuadBytes(edit->Text))
            content.push_back(static_cast<char>(b));
    }
    if (!Confirm(ctx, "Modify Station Static IP, Mask, Gateway, execute?\n    . IP: " +
                          w.Edit8.Text + "\n" + "    . Mask: " + w.Edit9.Text + "\n" +
                          "    . Gateway: " + w.Edit10.Text))
        return;
    if (LocateDevice(ctx) != 1) return;
    if (!WriteFileStep(ctx, "/local/sta_ip.cfg", content)) return;
    ShowResult(ctx, "Station Static IP write complete,\n    . Manual Reboot to take effect!");
}

void SendWebLoginKey(TContext& ctx) {
    SendWebLoginKeyChecked(ctx);
}

void CommitWebKey(TContext& ctx) {
    auto& w = ctx.Form2;
    bool valid = false;
    if (!w.Edit6.Text.empty()) {
        w.HeldWebKey = w.Edit6.Text;
        Trace(ctx, std::to_string(w.HeldWebKey.size()));
        valid = w.HeldWebKey.size() <= kMaxWebKey;
    }
    if (!valid) {
        ShowInputError(ctx, "    . WEB Key must be 5 chars.");
        return;
    }
    if (!Confirm(ctx, "Modify WEB Key, execute?\n    . WEB Key: " + w.HeldWebKey + ".\n")) return;
    if (LocateDevice(ctx) != 1) return;
    const auto sent = SendWebLoginKeyChecked(ctx);
    Trace(ctx, "WEB Key =" + w.HeldWebKey);
    FinishRequest(ctx, sent, "WEB key", "WEB Key write complete,\n    .Take effect immediately.");
}

void CommitLocation(TContext& ctx) {
    const std::string location = ctx.Form2.Edit5.Text;
    bool valid = false;
    if (!location.empty()) {
        Trace(ctx, std::to_string(location.size()));
        valid = location.size() <= kMaxLocation;
    }
    if (!valid) {
        ShowInputError(ctx, "    . Location string must less then 31 chars.");
        return;
    }
    if (!Confirm(ctx, "Modify Location string, execute?\n    . Location: " + location + ".\n"))
        return;
    if (LocateDevice(ctx) != 1) return;
    if (!WriteFileStep(ctx, "/local/locate.cfg", location)) return;
    Trace(ctx, "Location =" + location);
    ShowResult(ctx, "Location string write complete,\n    . Manual Reboot to take effect!");
}

void SendModbusUpdated(TContext& ctx) {
    SendLocated(ctx, CMD_MODBUS_UPDATED, 5);
}

void CommitModbusSettings(TContext& ctx) {
    const auto& w = ctx.Form2;
    std::int32_t port = 0;
    try {
        port = StrToInt(w.Edit7.Text);
    } catch (const TConversionError& e) {
        ShowModbusError(ctx, e.what(), "Modbus port input Error");
        return;
    }
    if (port == kDefaultDevicePort || port == 80) {
        ShowModbusError(ctx, "Port already used!", "Modbus port input Error");
        return;
    }
    if (port < 1 || port > 65535) {
        ShowModbusError(ctx, "Port number over range!", "Modbus port range Error");
        return;
    }
    std::int32_t timeout = 0;
    try {
        timeout = StrToInt(w.Edit12.Text);
    } catch (const TConversionError& e) {
        ShowModbusError(ctx, e.what(), "Modbus Idle Timeout input Error");
        return;
    }
    if (timeout < 1 || timeout > 65000) {
        ShowModbusError(ctx, "Timeout range must in 1 ~ 65000 Sec! Recommend 30 Sec.",
                        "Modbus Idle Timeout input Error");
        return;
    }
    const std::string numbers =
        "Port: " + std::to_string(port) + ", Idle Timeout: " + std::to_string(timeout);
    if (!Confirm(ctx, "Modify Modbus Port & Idle Timeout, execute?\n    . " + numbers + "."))
        return;
    if (LocateDevice(ctx) != 1) return;
    const std::string content{static_cast<char>(port >> 8),
                              static_cast<char>(port & 0xFF),
                              static_cast<char>(timeout >> 8),
                              static_cast<char>(timeout & 0xFF),
                              0,
                              0,
                              0,
                              0,
                              0,
                              0};
    if (!WriteFileStep(ctx, "/local/mbport.cfg", content)) return;
    Trace(ctx,
          "Modbus Port =" + std::to_string(port) + ", Idle Timeout: " + std::to_string(timeout));
    ctx.Host.Sleep(kModbusPause);
    FinishRequest(
        ctx, SendLocated(ctx, CMD_MODBUS_UPDATED, 5), "Modbus update notice",
        "Modify Modbus Port, Timeout write complete,\n    . Manual Reboot to take effect!");
}

}  // namespace kstbell
