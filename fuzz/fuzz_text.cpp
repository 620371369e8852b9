// Operator texts through the number and address conversions, each compared with a plain
// re-reading of the same text, and through the commits that take them.
//
// Input: the text (at most kMaxText bytes). The commits take its lines as their entries: the
// Modbus port and idle timeout, or the static address, net mask and gateway.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "device/locate.h"
#include "device/settings.h"
#include "fuzz_support.h"
#include "protocol/address_text.h"
#include "protocol/convert.h"
#include "protocol/ipv4_text.h"
#include "shell/context.h"
#include "shell/setup_commits.h"

namespace kstbell::fuzz {
namespace {

constexpr std::size_t kMaxText = 512;
constexpr std::size_t kMaxDottedQuadText = 255;

std::optional<std::int32_t> Converted(const std::string& text) {
    try {
        return StrToInt(text);
    } catch (const TConversionError&) {
        return std::nullopt;
    }
}

// The accepted forms: blanks, a sign, then decimal digits, or hexadecimal ones after "$" or
// "0x"; hexadecimal may spell the full 32-bit pattern.
std::optional<std::int32_t> ReferenceInt(std::string_view text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos) return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    int base = 10;
    if (text.substr(i).starts_with("$")) {
        base = 16;
        i += 1;
    } else if (text.substr(i).starts_with("0x") || text.substr(i).starts_with("0X")) {
        base = 16;
        i += 2;
    }
    const std::string_view digits = text.substr(i);
    if (digits.empty()) return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    if (magnitude > std::uint64_t{1} << 32) return std::nullopt;
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (base == 16 && !negative && magnitude <= UINT32_MAX)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// Four parts of one or more decimal digits, each at most 255, and three dots between them.
std::optional<std::array<std::uint8_t, 4>> ReferenceQuad(std::string_view text) {
    if (text.size() > kMaxDottedQuadText) return std::nullopt;
    const auto parts = Split(text, '.');
    if (parts.size() != 4) return std::nullopt;
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto part = parts[i];
        if (part.empty() ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        unsigned value = 0;
        const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (error != std::errc{} || value > 255) return std::nullopt;
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

void CheckStrToInt(const std::string& text) {
    const auto converted = Converted(text);
    FUZZ_CHECK(converted == ReferenceInt(text));
}

void CheckDottedQuad(const std::string& text) {
    const bool quad = IsDottedQuad(text);
    const auto reference = ReferenceQuad(text);
    FUZZ_CHECK(quad == reference.has_value());
    if (quad) FUZZ_CHECK(DottedQuadBytes(text) == *reference);
    // Every canonical address is a dotted quad with the same four bytes.
    if (const auto address = ParseIpv4Text(text)) {
        FUZZ_CHECK(quad);
        const std::array<std::uint8_t, 4> bytes{
            static_cast<std::uint8_t>(*address >> 24), static_cast<std::uint8_t>(*address >> 16),
            static_cast<std::uint8_t>(*address >> 8), static_cast<std::uint8_t>(*address)};
        FUZZ_CHECK(DottedQuadBytes(text) == bytes);
    }
}

// The four parts of an address text: up to the first three dots, then all that follows with
// further dots dropped.
std::array<std::string, 4> AddressParts(std::string_view text) {
    std::array<std::string, 4> parts;
    std::size_t part = 0;
    for (char c : text) {
        if (c == '.' && part < 3)
            ++part;
        else if (c != '.')
            parts[part] += c;
    }
    return parts;
}

std::string ExpectedPrefix(std::string_view text) {
    std::size_t at = 0;
    for (int dot = 0; dot < 3; ++dot) {
        at = text.find('.', at);
        if (at == std::string_view::npos) return std::string(text);
        ++at;
    }
    return std::string(text.substr(0, at));
}

std::optional<std::string> Parsed(const std::string& text) {
    try {
        return ParseDeviceAddress(text);
    } catch (const TConversionError&) {
        return std::nullopt;
    }
}

void CheckDeviceAddress(const std::string& text) {
    const auto prefix = Parsed(text);
    const auto parts = AddressParts(text);
    const bool partsAreNumbers = std::all_of(parts.begin(), parts.end(), [](const auto& part) {
        return ReferenceInt(part).has_value();
    });
    FUZZ_CHECK(prefix.has_value() == partsAreNumbers);
    if (prefix) FUZZ_CHECK(*prefix == ExpectedPrefix(text));
    if (IsDottedQuad(text)) FUZZ_CHECK(prefix.has_value());
}

void CheckApplyStaticIp(const std::string& text) {
    TBench& bench = Bench();
    TContext& ctx = bench.Ctx;
    const std::string defaultIp = ctx.Session.Link.DeviceIp;
    const std::string defaultPrefix = ctx.Session.Locate.DeviceNetPrefix;
    ctx.Form1.Edit2Text = text;
    bool applied = true;
    try {
        ApplyStaticIp(ctx.Session, ctx.Form1.Edit2Text);
    } catch (const TConversionError&) {
        applied = false;
    }
    FUZZ_CHECK(applied == Parsed(text).has_value());
    FUZZ_CHECK(bench.Tcp.Connects == 0);
    FUZZ_CHECK(bench.Host.Boxes == 0);
    FUZZ_CHECK(!ctx.Session.Link.LinkBusy);
    if (!applied) {
        FUZZ_CHECK(ctx.Session.Link.DeviceIp == defaultIp);
        FUZZ_CHECK(ctx.Session.Locate.DeviceNetPrefix == defaultPrefix);
        FUZZ_CHECK(bench.Network.Surveys == 0);
        // Only the trace line of the text's length has been written.
        const TMainWindowState untouched;
        FUZZ_CHECK(ctx.Form1.StatusBar1.Panels == untouched.StatusBar1.Panels);
        FUZZ_CHECK(ctx.Form1.StatusBar2.Panels == untouched.StatusBar2.Panels);
        FUZZ_CHECK(ctx.Form1.Label4.Caption == untouched.Label4.Caption);
        FUZZ_CHECK(ctx.Form1.Label5.Caption == untouched.Label5.Caption);
        FUZZ_CHECK(ctx.Form1.Memo1.size() == 1);
        return;
    }
    // Four decimal parts are kept in their usual spelling, any other text as typed.
    const std::string address = CanonicalIpv4Text(text).value_or(text);
    FUZZ_CHECK(ctx.Session.Link.DeviceIp == address);
    FUZZ_CHECK(ctx.Session.Locate.DeviceNetPrefix == ExpectedPrefix(address));
    FUZZ_CHECK(bench.Network.Surveys >= 1);
    const bool onNetwork =
        std::string_view(kWifiAddress).starts_with(ctx.Session.Locate.DeviceNetPrefix);
    if (onNetwork)
        FUZZ_CHECK(ctx.Form1.StatusBar1.Panels[1] == "IP: " + address);
    else
        FUZZ_CHECK(ctx.Form1.Label4.Caption == "Device not found!!");
}

std::string Line(const std::vector<std::string_view>& lines, std::size_t i) {
    return i < lines.size() ? std::string(lines[i]) : std::string();
}

// The Modbus commit answered No at its confirmation: exactly one box, the one the entries
// call for, and nothing located or sent.
void CheckModbusCommit(const std::vector<std::string_view>& lines) {
    TBench& bench = Bench();
    TContext& ctx = bench.Ctx;
    ctx.Form2.Edit7.Text = Line(lines, 0);
    ctx.Form2.Edit12.Text = Line(lines, 1);
    CommitModbusSettings(ctx);
    FUZZ_CHECK(bench.Host.Boxes == 1);
    FUZZ_CHECK(bench.Network.Surveys == 0);
    FUZZ_CHECK(bench.Tcp.Connects == 0);

    const auto port = ReferenceInt(ctx.Form2.Edit7.Text);
    const auto timeout = ReferenceInt(ctx.Form2.Edit12.Text);
    const std::string& caption = bench.Host.LastCaption;
    if (!port || *port == kDefaultDevicePort || *port == 80) {
        FUZZ_CHECK(caption == "Modbus port input Error");
    } else if (*port < 1 || *port > 65535) {
        FUZZ_CHECK(caption == "Modbus port range Error");
    } else if (!timeout || *timeout < 1 || *timeout > 65000) {
        FUZZ_CHECK(caption == "Modbus Idle Timeout input Error");
    } else {
        FUZZ_CHECK(bench.Host.LastButtons == TMsgButtons::YesNo);
        const std::string numbers =
            "Port: " + std::to_string(*port) + ", Idle Timeout: " + std::to_string(*timeout);
        FUZZ_CHECK(bench.Host.LastText.find(numbers) != std::string::npos);
        return;
    }
    FUZZ_CHECK(bench.Host.LastButtons == TMsgButtons::Ok);
}

// The static address commit, likewise: an input error box or the confirmation.
void CheckStaticIpCommit(const std::vector<std::string_view>& lines) {
    TBench& bench = Bench();
    TContext& ctx = bench.Ctx;
    auto& w = ctx.Form2;
    w.CheckBox1 = true;
    w.Edit8.Text = Line(lines, 0);
    w.Edit9.Text = Line(lines, 1);
    w.Edit10.Text = Line(lines, 2);
    CommitStaticIp(ctx);
    FUZZ_CHECK(bench.Host.Boxes == 1);
    FUZZ_CHECK(bench.Network.Surveys == 0);
    FUZZ_CHECK(bench.Tcp.Connects == 0);
    const bool valid =
        ReferenceQuad(w.Edit8.Text) && ReferenceQuad(w.Edit9.Text) && ReferenceQuad(w.Edit10.Text);
    FUZZ_CHECK(bench.Host.LastButtons == (valid ? TMsgButtons::YesNo : TMsgButtons::Ok));
}

}  // namespace
}  // namespace kstbell::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kstbell::fuzz;
    const std::string text(reinterpret_cast<const char*>(data), std::min(size, kMaxText));
    CheckStrToInt(text);
    CheckDottedQuad(text);
    CheckDeviceAddress(text);
    CheckApplyStaticIp(text);
    const auto lines = Split(text, '\n');
    CheckModbusCommit(lines);
    CheckStaticIpCommit(lines);
    return 0;
}
