// The simulator's side of the wire: request framing, the running configuration read from flash
// files, and the firmware image helpers, with the client's decoder reading back what the
// simulator answers.
//
// Input, read three ways at once: as the bytes of one request; as flash files, a run of
// records [path selector][length][length bytes] (a later record replaces an earlier file); and
// as a firmware image.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/file_transfer.h"
#include "fuzz_support.h"
#include "protocol/byte_sum.h"
#include "protocol/commands.h"
#include "protocol/text.h"
#include "shell/context.h"
#include "sim/firmware_image.h"
#include "sim/flash_store.h"
#include "sim/replies.h"
#include "sim/request_parser.h"
#include "sim/running_config.h"

namespace kstbell::fuzz {
namespace {

namespace sim = kstbell::sim;

// Every code the client sends; the simulator must know each of them and no other.
constexpr std::array<std::uint8_t, 14> kClientCodes{
    CMD_SET_LOCATOR, CMD_GET_DEVICE_INFO, CMD_GET_IMAGE_CHECKSUM, CMD_IMAGE_CHECKSUM_NOTIFY,
    CMD_M4_RESET,    CMD_SET_WIFI_MODE,   CMD_SET_WEB_LOGIN_KEY,  CMD_IMAGE_HEADER_PLAIN,
    CMD_KILL_FILE,   CMD_KILL_CONFIG,     CMD_FILE_HEADER,        CMD_SET_DO,
    CMD_GET_STATUS,  CMD_MODBUS_UPDATED};

// Longest request prefix whose framing is followed byte by byte.
constexpr std::size_t kMaxTracedPrefix = 300;

bool KnownCode(std::uint8_t code) {
    return std::find(kClientCodes.begin(), kClientCodes.end(), code) != kClientCodes.end();
}

bool SameBounds(const sim::TFrameBounds& a, const sim::TFrameBounds& b) {
    return a.Min == b.Min && a.Max == b.Max;
}

// Absolute, at least one character after the slash, every component neither empty nor "." or
// "..", no NUL byte.
bool ReferenceValidPath(std::string_view path) {
    if (path.size() < 2 || path.front() != '/') return false;
    if (path.find('\0') != std::string_view::npos) return false;
    std::size_t start = 1;
    for (;;) {
        const std::size_t end = path.find('/', start);
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

// The framing of every prefix agrees with the verdict on the longer ones: a wrong magic or an
// unknown code stays so, and a complete request stays complete with the same bounds.
void CheckFraming(std::span<const std::uint8_t> bytes) {
    const std::size_t traced = std::min(bytes.size(), kMaxTracedPrefix);
    std::optional<sim::EFrameState> final;
    std::optional<sim::TFrameBounds> completeBounds;
    for (std::size_t n = 0; n <= traced; ++n) {
        const auto prefix = bytes.first(n);
        const sim::TFrameCheck check = sim::CheckFrame(prefix);
        const std::size_t magicBytes = std::min<std::size_t>(n, 4);
        const bool magicSoFar =
            std::equal(prefix.begin(), prefix.begin() + static_cast<std::ptrdiff_t>(magicBytes),
                       std::begin(sim::kFrameMagic));
        FUZZ_CHECK((check.State == sim::EFrameState::WrongMagic) == !magicSoFar);
        if (magicSoFar && n >= sim::kHeaderLength)
            FUZZ_CHECK((check.State == sim::EFrameState::UnknownCode) == !KnownCode(prefix[4]));
        if (n < sim::kHeaderLength && magicSoFar)
            FUZZ_CHECK(check.State == sim::EFrameState::NeedMore);
        if (check.State == sim::EFrameState::Complete) {
            FUZZ_CHECK(check.Bounds.Min >= sim::kHeaderLength);
            FUZZ_CHECK(check.Bounds.Min <= check.Bounds.Max);
            FUZZ_CHECK(n >= check.Bounds.Min);
            if (completeBounds) FUZZ_CHECK(SameBounds(*completeBounds, check.Bounds));
            completeBounds = check.Bounds;
        } else {
            FUZZ_CHECK(!completeBounds);
        }
        if (final == sim::EFrameState::WrongMagic || final == sim::EFrameState::UnknownCode)
            FUZZ_CHECK(check.State == *final);
        final = check.State;
    }
}

void CheckRequest(std::span<const std::uint8_t> bytes) {
    CheckFraming(bytes);
    const sim::TParseOutcome outcome = sim::ParseRequest(bytes);
    FUZZ_CHECK(outcome.Request.has_value() != outcome.Error.has_value());
    const sim::TFrameCheck check = sim::CheckFrame(bytes);
    if (!outcome.Request) {
        FUZZ_CHECK(check.State != sim::EFrameState::Complete);
        return;
    }
    FUZZ_CHECK(check.State == sim::EFrameState::Complete);
    const sim::TParsedRequest& request = *outcome.Request;
    FUZZ_CHECK(request.Bytes.size() == std::min(bytes.size(), check.Bounds.Max));
    FUZZ_CHECK(std::equal(request.Bytes.begin(), request.Bytes.end(), bytes.begin()));
    FUZZ_CHECK(request.Code == bytes[4]);
    FUZZ_CHECK(KnownCode(request.Code));
    FUZZ_CHECK(request.At(request.Bytes.size()) == 0);
    if (request.Code == CMD_SET_WEB_LOGIN_KEY)
        FUZZ_CHECK(request.Bytes.size() == 6 + std::size_t{bytes[5]});
    for (std::size_t at : {std::size_t{5}, std::size_t{12}, request.Bytes.size() - 2}) {
        const std::uint32_t expected = std::uint32_t{request.At(at)} << 24 |
                                       std::uint32_t{request.At(at + 1)} << 16 |
                                       std::uint32_t{request.At(at + 2)} << 8 | request.At(at + 3);
        FUZZ_CHECK(request.Be32(at) == expected);
    }

    const auto path = sim::RequestPath(request);
    const std::size_t size = request.Bytes.size();
    const bool fits = size > 16 && 17 + std::size_t{request.Bytes[16]} <= size;
    FUZZ_CHECK(path.has_value() == fits);
    if (path) {
        FUZZ_CHECK(path->size() == request.Bytes[16]);
        FUZZ_CHECK(
            std::equal(path->begin(), path->end(), request.Bytes.begin() + 17,
                       [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; }));
        FUZZ_CHECK(sim::IsValidDevicePath(*path) == ReferenceValidPath(*path));
    }
}

// Where a file record goes: the device's own files, a few neighbours it must ignore, and the
// firmware image.
constexpr std::array<const char*, 14> kFilePaths{
    sim::paths::kApSsid,     sim::paths::kApKey,  sim::paths::kStaSsid,  sim::paths::kStaKey,
    sim::paths::kStaKeyType, sim::paths::kStaIp,  sim::paths::kLocation, sim::paths::kModbus,
    sim::paths::kWifiMode,   sim::paths::kWebKey, sim::paths::kFirmware, "/local/ap_ssid.cfg.old",
    "/local/locate",         "/locate.cfg"};

sim::TFileMap FilesOf(std::span<const std::uint8_t> bytes) {
    sim::TFileMap files;
    std::size_t at = 0;
    while (at + 2 <= bytes.size()) {
        const char* path = kFilePaths[bytes[at] % kFilePaths.size()];
        const std::size_t length = std::min<std::size_t>(bytes[at + 1], bytes.size() - at - 2);
        files[path].assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 2),
                           bytes.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        at += 2 + length;
    }
    return files;
}

const std::vector<std::uint8_t>* FileAt(const sim::TFileMap& files, const char* path) {
    const auto it = files.find(path);
    return it == files.end() ? nullptr : &it->second;
}

std::string TextOf(const std::vector<std::uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

void CheckTextFile(const sim::TFileMap& files, const char* path, const std::string& loaded,
                   const std::string& fallback) {
    const auto* file = FileAt(files, path);
    const bool usable = file != nullptr && !file->empty() && file->size() <= 31;
    FUZZ_CHECK(loaded == (usable ? TextOf(*file) : fallback));
}

sim::TRunningConfig CheckRunningConfig(const sim::TFileMap& files) {
    const sim::TRunningConfig config = sim::LoadRunningConfig(files);
    CheckTextFile(files, sim::paths::kApSsid, config.ApSsid, sim::defaults::kApSsid);
    CheckTextFile(files, sim::paths::kStaSsid, config.StaSsid, "");
    CheckTextFile(files, sim::paths::kLocation, config.Location, sim::defaults::kLocation);
    FUZZ_CHECK((config.ApKeyType != 0) == (FileAt(files, sim::paths::kApKey) != nullptr));
    const auto* modbus = FileAt(files, sim::paths::kModbus);
    if (modbus == nullptr || modbus->size() != 10) {
        FUZZ_CHECK(config.ModbusPort == sim::defaults::kModbusPort);
        FUZZ_CHECK(config.ModbusIdleTimeout == sim::defaults::kModbusIdleTimeout);
    }
    const auto* staticIp = FileAt(files, sim::paths::kStaIp);
    FUZZ_CHECK(config.StaticIp == (staticIp != nullptr && staticIp->size() == 12));
    const auto* webKey = FileAt(files, sim::paths::kWebKey);
    FUZZ_CHECK(config.WebLoginKey == (webKey ? TextOf(*webKey) : std::string()));
    return config;
}

// The simulator's information reply, read by the client's decoder, gives back the running
// configuration: texts up to their first zero byte, numbers whole.
void CheckInformationRoundTrip(const sim::TRunningConfig& config,
                               std::span<const std::uint8_t> bytes,
                               const std::vector<std::uint8_t>& image) {
    sim::TLiveState live;
    live.Model = kSupportedModelCode;
    live.Address = {192, 168, 77, 1};
    live.Relay = bytes.empty() ? 0 : bytes[0];
    live.Input = bytes.size() < 2 ? 0 : bytes[1];
    live.Armed = bytes.size() < 3 ? 0 : bytes[2];
    live.Firmware = sim::FirmwareVersionOf(image);
    const std::vector<std::uint8_t> reply = sim::DeviceInfoReply(live, config);
    FUZZ_CHECK(reply.size() == sim::kInfoReplyLength);

    TBench& bench = Bench();
    TContext& ctx = bench.Ctx;
    ctx.Session.Link.DeviceIp = "192.168.77.1";
    ctx.Session.Link.PendingCode = CMD_GET_DEVICE_INFO;
    std::copy(reply.begin(), reply.end(), ctx.Session.Link.Reply.Bytes.begin());
    DispatchReply(ctx.Session, reply.size());

    const TDeviceInfo& info = ctx.Session.DeviceInfo;
    FUZZ_CHECK(ctx.Session.Flags.DeviceInfoValid);
    FUZZ_CHECK(ctx.Session.Flags.SupportedModel);
    FUZZ_CHECK(ctx.Session.Link.PendingCode == 0);
    FUZZ_CHECK(info.Location == UpToNul(config.Location));
    FUZZ_CHECK(info.ApSsid == UpToNul(config.ApSsid));
    FUZZ_CHECK(info.StaSsid == UpToNul(config.StaSsid));
    FUZZ_CHECK(info.ApKeyType == config.ApKeyType);
    FUZZ_CHECK(info.StaKeyType == config.StaKeyType);
    FUZZ_CHECK(info.WifiMode == config.WifiMode);
    FUZZ_CHECK(info.ModbusPort == config.ModbusPort);
    FUZZ_CHECK(info.ModbusIdleTimeout == config.ModbusIdleTimeout);
    FUZZ_CHECK(info.StaticIpEnabled == config.StaticIp);
    if (config.StaticIp) {
        const auto& a = config.StaticAddressing;
        FUZZ_CHECK(std::equal(info.StaticIp.begin(), info.StaticIp.end(), a.begin()));
        FUZZ_CHECK(std::equal(info.NetMask.begin(), info.NetMask.end(), a.begin() + 4));
        FUZZ_CHECK(std::equal(info.Gateway.begin(), info.Gateway.end(), a.begin() + 8));
    }
    FUZZ_CHECK(info.Armed == live.Armed);
    FUZZ_CHECK(ctx.Session.OutputState == (live.Relay & 1));
    FUZZ_CHECK(ctx.Session.InputState == (live.Input & 1));
    FUZZ_CHECK(ctx.Form1.StatusBar2.Panels[1] ==
               "FW: V" + Hex2(live.Firmware.Major) + "." + Hex2(live.Firmware.Minor));
}

void CheckFirmwareImage(const std::vector<std::uint8_t>& image) {
    constexpr sim::TFirmwareVersion builtIn{0xEE, 0xDD};
    const std::string_view marker = sim::kFirmwareVersionMarker;
    const std::string_view text(reinterpret_cast<const char*>(image.data()), image.size());
    const std::size_t at = text.find(marker);
    sim::TFirmwareVersion expected = builtIn;
    if (at != std::string_view::npos && at + marker.size() + 2 <= image.size())
        expected = {image[at + marker.size()], image[at + marker.size() + 1]};
    FUZZ_CHECK(sim::FirmwareVersionOf(image, builtIn) == expected);

    // The client and the simulator sum an image alike.
    const std::uint64_t sum = sim::ByteSum(image);
    FUZZ_CHECK(ByteSum(std::span<const std::uint8_t>(image)) == sum);

    std::vector<std::uint8_t> corrupted = image;
    const bool changed = sim::CorruptImage(corrupted);
    FUZZ_CHECK(changed == !image.empty());
    FUZZ_CHECK(corrupted.size() == image.size());
    for (std::size_t i = 0; i < image.size(); ++i) {
        const bool victim = i == image.size() / 2;
        FUZZ_CHECK(corrupted[i] == (victim ? static_cast<std::uint8_t>(image[i] + 1) : image[i]));
    }
    if (changed) {
        const std::uint64_t after = sim::ByteSum(corrupted);
        FUZZ_CHECK(after == sum + 1 || after + 255 == sum);
        FUZZ_CHECK(after != sum);
    }

    // The simulator's checksum answer for the stored image confirms the client's upload.
    TBench& bench = Bench();
    TContext& ctx = bench.Ctx;
    ctx.Session.ImageSum = sum;
    ctx.Session.Link.PendingCode = CMD_GET_IMAGE_CHECKSUM;
    const auto reply = sim::ImageChecksumReply(static_cast<std::uint32_t>(sum));
    std::copy(reply.begin(), reply.end(), ctx.Session.Link.Reply.Bytes.begin());
    DispatchReply(ctx.Session, reply.size());
    FUZZ_CHECK(bench.Host.Boxes == 1);
    FUZZ_CHECK(ctx.Session.Link.ResetAfterTransaction);
    FUZZ_CHECK(ctx.Session.Link.PendingCode == 0);
}

}  // namespace
}  // namespace kstbell::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kstbell::fuzz;
    const std::span<const std::uint8_t> bytes(data, size);
    CheckRequest(bytes);
    const auto config = CheckRunningConfig(FilesOf(bytes));
    const std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
    CheckInformationRoundTrip(config, bytes, image);
    CheckFirmwareImage(image);
    return 0;
}
