// Station static address, WEB login key, location and Modbus TCP settings.

#include <string>

#include "device/file_transfer.h"
#include "device/locate.h"
#include "device/session.h"
#include "device/settings.h"
#include "protocol/address_text.h"
#include "protocol/convert.h"

namespace kstbell {

namespace {

constexpr int kHttpPort = 80;

// Sends the command whose parameters are in the request area; Done only when the device
// accepted it.
TOutcome SendAccepted(TDeviceSession& s, std::uint8_t code, std::uint8_t length) {
    if (LinkFree(s.Link)) {
        s.Link.PendingCode = code;
        s.Link.Request[4] = code;
        RunTransaction(s, length);
    }
    TOutcome o = LinkOutcome(s, code);
    // Without the device's answer nothing says the command took effect.
    return o;
}

std::int32_t ReadNumber(const std::string& text, TInvalid rule, TOutcome& failure) {
    try {
        return StrToInt(text);
    } catch (const TConversionError& e) {
        failure = Invalid(rule, e.what());
        return 0;
    }
}

}  // namespace

TOutcome CheckLocation(const std::string& location) {
    if (location.empty() || location.size() > kMaxLocation) return Invalid(TInvalid::Location);
    if (HasControlByte(location)) return Invalid(TInvalid::ControlByte, "the location");
    return {};
}

TOutcome CheckWebKey(const std::string& key) {
    if (key.empty() || key.size() > kMaxWebKey) return Invalid(TInvalid::WebKey);
    if (HasControlByte(key)) return Invalid(TInvalid::ControlByte, "the web key");
    return {};
}

TOutcome ParseModbusSettings(const std::string& port, const std::string& timeout,
                             TModbusSettings& out) {
    TOutcome failure;
    const std::int32_t p = ReadNumber(port, TInvalid::PortNotNumber, failure);
    if (!failure.Ok()) return failure;
    if (p == kDefaultDevicePort || p == kHttpPort) return Invalid(TInvalid::PortInUse);
    if (p < 1 || p > 65535) return Invalid(TInvalid::PortRange);
    const std::int32_t t = ReadNumber(timeout, TInvalid::TimeoutNotNumber, failure);
    if (!failure.Ok()) return failure;
    if (t < 1 || t > kMaxModbusTimeout) return Invalid(TInvalid::TimeoutRange);
    out.Port = static_cast<std::uint16_t>(p);
    out.IdleTimeout = static_cast<std::uint16_t>(t);
    return {};
}

TOutcome ParseStaticAddress(const std::string& ip, const std::string& mask,
                            const std::string& gateway, TStaticAddress& out) {
    const std::pair<const std::string*, std::array<std::uint8_t, 4>*> parts[] = {
        {&ip, &out.Ip}, {&mask, &out.Mask}, {&gateway, &out.Gateway}};
    for (auto [text, bytes] : parts) {
        if (!IsDottedQuad(*text)) return Invalid(TInvalid::DottedQuad, *text);
        // Octets are read as the decimal numbers the check accepted: 010 is 10.
        *bytes = DottedQuadBytes(*text);
    }
    return {};
}

std::string StaticAddressFile(const TStaticAddress& a) {
    std::string content;
    for (const auto* quad : {&a.Ip, &a.Mask, &a.Gateway})
        for (std::uint8_t b : *quad)
            content.push_back(static_cast<char>(b));
    return content;
}

std::string ModbusFile(const TModbusSettings& m) {
    std::string content(10, '\0');
    content[0] = static_cast<char>(m.Port >> 8);
    content[1] = static_cast<char>(m.Port & 0xFF);
    content[2] = static_cast<char>(m.IdleTimeout >> 8);
    content[3] = static_cast<char>(m.IdleTimeout & 0xFF);
    return content;
}

TOutcome WriteStaticAddress(TDeviceSession& s, const TStaticAddress& a) {
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    return WriteDeviceFileBytes(s, kStaticIpFile, StaticAddressFile(a));
}

TOutcome DeleteStaticAddress(TDeviceSession& s) {
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    return DeleteDeviceFile(s, kStaticIpFile);
}

TOutcome WriteLocation(TDeviceSession& s, const std::string& location) {
    if (TOutcome checked = CheckLocation(location); !checked.Ok()) return checked;
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    if (TOutcome o = WriteDeviceFileBytes(s, kLocationFile, location); !o.Ok()) return o;
    Trace(s, "Location =" + location);
    return {};
}

TOutcome WriteModbusSettings(TDeviceSession& s, const TModbusSettings& m) {
    if (m.Port == 0 || m.Port == kDefaultDevicePort || m.Port == kHttpPort)
        return Invalid(m.Port == 0 ? TInvalid::PortRange : TInvalid::PortInUse);
    if (m.IdleTimeout < 1 || m.IdleTimeout > kMaxModbusTimeout)
        return Invalid(TInvalid::TimeoutRange);
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    if (TOutcome o = WriteDeviceFileBytes(s, kModbusFile, ModbusFile(m)); !o.Ok()) return o;
    Trace(s, "Modbus Port =" + std::to_string(m.Port) +
                 ", Idle Timeout: " + std::to_string(m.IdleTimeout));
    s.Pause.Sleep(kModbusNoticePauseMs);
    return SendModbusUpdated(s);
}

TOutcome SendWebLoginKey(TDeviceSession& s, const std::string& key) {
    // A key that breaks the rule never goes out (nor overruns the request).
    if (TOutcome checked = CheckWebKey(key); !checked.Ok()) return checked;
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    if (!LinkFree(s.Link)) return LinkOutcome(s, CMD_SET_WEB_LOGIN_KEY);
    auto& request = s.Link.Request;
    request[5] = static_cast<std::uint8_t>(key.size());
    for (std::size_t i = 0; i < key.size(); ++i)
        request[6 + i] = static_cast<std::uint8_t>(key[i]);
    return SendAccepted(s, CMD_SET_WEB_LOGIN_KEY, static_cast<std::uint8_t>(6 + key.size()));
}

TOutcome SendModbusUpdated(TDeviceSession& s) {
    if (LocateDevice(s) != 1) return {TOutcomeKind::NotLocated};
    return SendAccepted(s, CMD_MODBUS_UPDATED, 5);
}

}  // namespace kstbell
