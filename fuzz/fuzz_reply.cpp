// Arbitrary device replies through the reply dispatcher and the information decoder.
//
// Input: byte 0 picks the code whose answer is awaited (0 to 11 from the list below, 12 runs
// the information decoder on its own, any other value is taken as the code itself); byte 1
// sets the state around the reply (see the k... bits); the rest is the reply as read from the
// socket, at most one reply area long.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "protocol/commands.h"
#include "shell/context.h"

namespace kstbell::fuzz {
namespace {

constexpr std::array<std::uint8_t, 12> kAwaitedCodes{0,
                                                     CMD_SET_LOCATOR,
                                                     CMD_GET_DEVICE_INFO,
                                                     CMD_GET_IMAGE_CHECKSUM,
                                                     CMD_M4_RESET,
                                                     CMD_KILL_FILE,
                                                     CMD_KILL_CONFIG,
                                                     CMD_SET_DO,
                                                     CMD_GET_STATUS,
                                                     CMD_SET_WIFI_MODE,
                                                     CMD_SET_WEB_LOGIN_KEY,
                                                     CMD_MODBUS_UPDATED};
constexpr std::uint8_t kDecodeOnly = 12;

constexpr std::uint8_t kHasOutput = 0x01;
constexpr std::uint8_t kHasInput = 0x02;
constexpr std::uint8_t kSupportedModel = 0x04;
constexpr std::uint8_t kImageSumShift = 3;      // two bits: how the last image's sum relates
constexpr std::uint8_t kAddressMatches = 0x20;  // the link's address is the one in the reply
constexpr std::uint8_t kWifiOffNetwork = 0x40;  // locating finds no device network
constexpr std::uint8_t kSecondWifi = 0x80;      // locating finds the network twice

// A byte the reply area holds from an earlier, longer reply.
constexpr std::uint8_t kStaleByte = 0xEE;

constexpr std::size_t kLocationAt = 40;
constexpr std::size_t kApSsidAt = 80;
constexpr std::size_t kStaSsidAt = 128;
constexpr std::size_t kMaxText = 31;

std::string ReplyAddress(const TReplyFrame& reply) {
    return std::to_string(reply[10]) + "." + std::to_string(reply[9]) + "." +
           std::to_string(reply[8]) + "." + std::to_string(reply[7]);
}

// A text field of the information reply read plainly from the bytes.
std::string TextField(const std::vector<std::uint8_t>& area, std::size_t at) {
    std::string text;
    while (text.size() < kMaxText && area[at + text.size()] != 0)
        text.push_back(static_cast<char>(area[at + text.size()]));
    return text;
}

bool IsDeviceText(const std::string& text) {
    return text.size() <= kMaxText && text.find('\0') == std::string::npos;
}

void CheckIndicators(const TContext& ctx) {
    FUZZ_CHECK(ctx.Session.OutputState <= 1);
    FUZZ_CHECK(ctx.Session.InputState <= 1);
    if (!ctx.Session.Flags.HasOutput) FUZZ_CHECK(ctx.Session.OutputState == 0);
    if (!ctx.Session.Flags.HasInput) FUZZ_CHECK(ctx.Session.InputState == 0);
    const auto& f = ctx.Form1;
    FUZZ_CHECK(f.SpeedButton4.Caption == (ctx.Session.OutputState ? "On" : "Off"));
    FUZZ_CHECK(f.Shape1.Brush == (ctx.Session.OutputState ? kOutputOnColor : clMenu));
    FUZZ_CHECK(f.Shape6.Brush == (ctx.Session.InputState ? kInputOnColor : clMenu));
}

}  // namespace
}  // namespace kstbell::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kstbell;
    using namespace kstbell::fuzz;
    if (size < 2) return 0;
    TBench& bench = Bench();
    TContext& ctx = bench.Ctx;

    const std::uint8_t selector = data[0];
    const std::uint8_t flags = data[1];
    const std::size_t count = std::min(size - 2, kReplyFrameSize);

    // The reply area as a transaction leaves it: the head cleared, then the bytes read.
    std::vector<std::uint8_t> area(kReplyFrameSize, kStaleByte);
    std::fill_n(area.begin(), kReplyClearSize, std::uint8_t{0});
    std::copy_n(data + 2, count, area.begin());
    std::copy(area.begin(), area.end(), ctx.Session.Link.Reply.Bytes.begin());
    const TReplyFrame& reply = ctx.Session.Link.Reply;

    ctx.Session.Flags.HasOutput = (flags & kHasOutput) != 0;
    ctx.Session.Flags.HasInput = (flags & kHasInput) != 0;
    ctx.Session.Flags.SupportedModel = (flags & kSupportedModel) != 0;
    const std::uint32_t replySum = reply.U32(6);
    const unsigned sumMode = (flags >> kImageSumShift) & 3u;
    switch (sumMode) {
        case 0:
            ctx.Session.ImageSum = 0;
            break;
        case 1:
            ctx.Session.ImageSum = replySum;
            break;
        case 2:
            ctx.Session.ImageSum = std::uint64_t{1} << 32 | replySum;
            break;
        default:
            ctx.Session.ImageSum = std::uint64_t{replySum} + 1;
            break;
    }
    if (flags & kAddressMatches) ctx.Session.Link.DeviceIp = ReplyAddress(reply);
    if (flags & kWifiOffNetwork) bench.Network.WifiAddress = "10.0.0.23";
    bench.Network.SecondWifiOnNetwork = (flags & kSecondWifi) != 0;

    const bool decodeOnly = selector == kDecodeOnly;
    const std::uint8_t awaited =
        selector < kAwaitedCodes.size() ? kAwaitedCodes[selector] : selector;
    ctx.Session.Link.PendingCode = decodeOnly ? CMD_GET_DEVICE_INFO : awaited;

    if (decodeOnly)
        DecodeDeviceInfo(ctx.Session);
    else
        DispatchReply(ctx.Session, count);

    // No transaction is left holding the link, and nothing reached further than one attempt.
    FUZZ_CHECK(!ctx.Session.Link.LinkBusy);
    FUZZ_CHECK(bench.Tcp.Connects <= 1);
    FUZZ_CHECK(bench.Tcp.Writes == 0);
    CheckIndicators(ctx);

    const auto& info = ctx.Session.DeviceInfo;
    FUZZ_CHECK(IsDeviceText(info.Location));
    FUZZ_CHECK(IsDeviceText(info.ApSsid));
    FUZZ_CHECK(IsDeviceText(info.StaSsid));
    FUZZ_CHECK(ctx.Form1.Label12.Caption.starts_with("RSSI:"));
    if (ctx.Session.Flags.DeviceInfoValid) {
        FUZZ_CHECK(info.Location == TextField(area, kLocationAt));
        FUZZ_CHECK(info.ApSsid == TextField(area, kApSsidAt));
        FUZZ_CHECK(info.StaSsid == TextField(area, kStaSsidAt));
        FUZZ_CHECK(ctx.Form1.Label5.Caption == "Locate: " + info.Location);
        FUZZ_CHECK(info.ModbusPort == (area[179] << 8 | area[180]));
        FUZZ_CHECK(ctx.Session.Link.DeviceIp == ReplyAddress(reply));
    }
    if (decodeOnly) {
        FUZZ_CHECK(ctx.Session.Link.PendingCode == 0);
        FUZZ_CHECK(ctx.Session.Flags.SupportedModel == (area[6] == kSupportedModelCode));
        return 0;
    }

    // What became of the awaited code. A reply is the answer to the awaited command only when
    // it names it; any other is treated as unsolicited.
    const bool framed = count > 0 && reply.HasMagic();
    const bool names = framed && area[4] == awaited;
    const bool accepted = names && area[5] == STATUS_ACK;
    const std::uint8_t pending = ctx.Session.Link.PendingCode;
    // An accepted status reply for another command is applied as a status, which clears the
    // pending code.
    const bool unsolicitedStatus =
        framed && !names && area[4] == CMD_GET_STATUS && area[5] == STATUS_ACK && pending == 0;
    switch (awaited) {
        case CMD_GET_IMAGE_CHECKSUM:
            FUZZ_CHECK(pending == (names ? 0 : awaited) || unsolicitedStatus);
            break;
        case CMD_SET_LOCATOR:
            FUZZ_CHECK(pending == (accepted ? 0 : awaited) || unsolicitedStatus);
            if (names && !accepted) FUZZ_CHECK(ctx.Session.Poll.QueuedCode == CMD_SET_LOCATOR);
            break;
        case CMD_GET_DEVICE_INFO:
            if (accepted) FUZZ_CHECK(pending == 0);
            if (accepted)
                FUZZ_CHECK(ctx.Session.Flags.SupportedModel == (area[6] == kSupportedModelCode));
            break;
        case CMD_M4_RESET:
            if (accepted) FUZZ_CHECK(pending == 0);
            break;
        case CMD_KILL_FILE:
        case CMD_KILL_CONFIG:
        case CMD_SET_DO:
        case CMD_GET_STATUS:
            FUZZ_CHECK(pending == (accepted ? 0 : awaited) || unsolicitedStatus);
            break;
        default:
            // Unhandled codes stay pending until the polling check clears them.
            FUZZ_CHECK(pending == awaited || unsolicitedStatus);
            break;
    }
    if (!names) FUZZ_CHECK(ctx.Session.Poll.QueuedCode == 0);

    // Only the image checksum answer shows a box, and a matching sum books the reset.
    const bool checksumAnswer =
        awaited == CMD_GET_IMAGE_CHECKSUM && accepted && area[4] == CMD_GET_IMAGE_CHECKSUM;
    FUZZ_CHECK(bench.Host.Boxes == (checksumAnswer ? 1 : 0));
    const bool sumMatches = sumMode == 1 || (sumMode == 0 && replySum == 0);
    FUZZ_CHECK(ctx.Session.Link.ResetAfterTransaction == (checksumAnswer && sumMatches));
    if (checksumAnswer) FUZZ_CHECK(ctx.Form1.StatusBar2.Panels[0] == bench.Host.LastText);
    return 0;
}
