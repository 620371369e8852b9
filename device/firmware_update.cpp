#include "device/firmware_update.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "device/file_transfer.h"
#include "link/device_link.h"

namespace kstbell {

namespace {

constexpr std::size_t kImageHeaderLength = 40;
constexpr int kSupportedPauseMs = 3000;
constexpr int kPlainPauseMs = 1000;
constexpr int kChecksumPauseMs = 2000;
constexpr const char* kSupportedImagePath = "/sys/mcuimg.bin";
constexpr const char* kPlainImagePath = "mcuimg.bin";
constexpr const char* kUnconfirmedText = "F/W not confirmed by device! Please upload again.";

void ShowError(TContext& ctx, const std::string& text) {
    ctx.Host.MessageBox(text, "Error found!", TMsgButtons::Ok, TMsgIcon::Error);
}

struct TCloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, TCloseFile>;

// Opens the image and tells its length; nothing, with the reason, when it cannot be read.
std::optional<std::int64_t> OpenImage(const std::string& path, TFile& file, std::string& why) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = "it is a folder";
        return std::nullopt;
    }
    file.reset(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    const long length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    return length;
}

std::string Hex8(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%08llX", static_cast<unsigned long long>(v));
    return buf;
}

// The 40-byte header that announces the image: code 95 with the full path to the supported
// model, code 90 with the bare name to any other device.
void PrepareHeader(TContext& ctx, std::uint32_t length) {
    auto& request = ctx.Link.Request;
    std::fill_n(request.Bytes.begin(), kImageHeaderLength, std::uint8_t{0});
    PutU32(request, 5, length);
    PutU32(request, 9, static_cast<std::uint32_t>(ctx.ImageSum));
    const bool supported = ctx.Flags.SupportedModel;
    PutPath(request, supported ? kSupportedImagePath : kPlainImagePath);
    request[4] = supported ? CMD_FILE_HEADER : CMD_IMAGE_HEADER_PLAIN;
}

// The device did not vouch for the image: it may not be stored.
void ReportUnconfirmed(TContext& ctx) {
    ShowStatus(ctx, kUnconfirmedText);
    ShowError(ctx, std::string("The device did not confirm the firmware image: ") +
                       RequestFailure(ctx.Link) +
                       ".\nIt may not be stored. Please upload it again.");
}

}  // namespace

void UpdateFirmware(TContext& ctx) {
    const auto chosen = ctx.Host.OpenFileDialog(kFirmwareFilter, kFirmwareDefaultExt);
    if (!chosen) return;
    const std::string& path = *chosen;
    TFile file;
    std::string why;
    const auto length = OpenImage(path, file, why);
    if (!length) {
        ShowError(ctx, "The firmware file " + path + " cannot be read: " + why + ".");
        return;
    }
    ShowStatus(ctx, "MCUImg FileLength => " + std::to_string(*length));
    if (*length > MaxImageLength) {
        ShowStatus(ctx, "File Lengths > Buffer Size, Abort!");
        return;
    }
    const auto size = static_cast<std::size_t>(*length);
    if (std::fread(ctx.ImageBuffer.data(), 1, size, file.get()) != size) {
        ShowError(ctx, "The firmware file " + path + " cannot be read: " +
                           (std::ferror(file.get()) ? std::strerror(errno) : "it ended early") +
                           ".");
        return;
    }
    file.reset();
    ctx.ImageSum = ByteSum({ctx.ImageBuffer.data(), size});
    ShowStatus(ctx, "Send MCUImg CheckSum => " + Hex8(ctx.ImageSum));

    const bool supported = ctx.Flags.SupportedModel;
    PrepareHeader(ctx, static_cast<std::uint32_t>(size));
    ctx.Link.PendingCode = 0;
    SendOnly(ctx, kImageHeaderLength);
    const bool headerSent = RequestWentOut(ctx.Link);

    auto& gauge = ctx.Form2.CGauge1;
    gauge.Progress = 0;
    gauge.MaxValue = static_cast<int>(size < kPieceSize ? size : size - kPieceSize);
    gauge.ForeColor = clRed;
    ctx.Host.Sleep(supported ? kSupportedPauseMs : kPlainPauseMs);
    const TTransferResult data = SendDataPhase(ctx, static_cast<std::int32_t>(size), true);
    // A device that did not get the whole image is not asked for its sum.
    if (!headerSent || !data.Ok) {
        ShowError(ctx,
                  "The firmware image could not be sent:\n" +
                      (headerSent ? data.Error
                                  : "the header could not be sent: " + RequestFailure(ctx.Link)));
        return;
    }
    ctx.Host.Sleep(kChecksumPauseMs);
    const auto sum = static_cast<std::uint32_t>(ctx.ImageSum);
    if (!supported) {
        NotifyImageChecksum(ctx, sum);
        return;
    }
    RequestImageChecksum(ctx, sum);
    // An accepted answer has been compared and reported; anything else leaves the image
    // unconfirmed, and no reset is sent for it.
    if (ctx.Link.LastOutcome != TTransactionOutcome::Replied) ReportUnconfirmed(ctx);
}

}  // namespace kstbell
