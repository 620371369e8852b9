#include "device/firmware_update.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "device/file_transfer.h"
#include "device/session.h"
#include "protocol/byte_sum.h"

namespace kstbell {

namespace {

constexpr std::size_t kImageHeaderLength = 40;
constexpr int kSupportedPauseMs = 3000;
constexpr int kPlainPauseMs = 1000;
constexpr int kChecksumPauseMs = 2000;
constexpr const char* kSupportedImagePath = "/sys/mcuimg.bin";
constexpr const char* kPlainImagePath = "mcuimg.bin";

struct TCloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, TCloseFile>;

TOutcome ImageInvalid(TInvalid rule, const std::string& path, std::string why = {}) {
    TOutcome o = Invalid(rule, std::move(why));
    o.Path = path;
    return o;
}

TOutcome Unreadable(const std::string& path, std::string why) {
    return ImageInvalid(TInvalid::ImageUnreadable, path, std::move(why));
}

// Opens the image and tells its length. Only a regular file is an image: a folder, a device
// such as /dev/zero or a pipe has no length to announce. Nothing, with the outcome, otherwise.
std::optional<std::int64_t> OpenImage(const std::string& path, TFile& file, TOutcome& refused) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        refused = ImageInvalid(TInvalid::ImageNotFile, path,
                               fs::is_directory(status) ? "a folder" : "not a regular file");
        return std::nullopt;
    }
    file.reset(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        refused = Unreadable(path, std::strerror(errno));
        return std::nullopt;
    }
    const long length = std::ftell(file.get());
    if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) {
        refused = Unreadable(path, std::strerror(errno));
        return std::nullopt;
    }
    return length;
}

TOutcome TooLong(const std::string& path, std::int64_t length) {
    TOutcome o = ImageInvalid(TInvalid::ImageTooLong, path);
    o.Total = static_cast<std::uint64_t>(length);
    return o;
}

// The 40-byte header that announces the image: code 95 with the full path to the supported
// model, code 90 with the bare name to any other device.
void PrepareHeader(TDeviceSession& s, std::uint32_t length) {
    auto& request = s.Link.Request;
    std::fill_n(request.Bytes.begin(), kImageHeaderLength, std::uint8_t{0});
    PutU32(request, 5, length);
    PutU32(request, 9, static_cast<std::uint32_t>(s.ImageSum));
    const bool supported = s.Flags.SupportedModel;
    PutPath(request, supported ? kSupportedImagePath : kPlainImagePath);
    request[4] = supported ? CMD_FILE_HEADER : CMD_IMAGE_HEADER_PLAIN;
}

// Asks the supported model for the sum of what it stored; anything but a compared answer
// leaves the image unconfirmed, and no reset is sent for it.
TOutcome Verify(TDeviceSession& s) {
    const TOutcome asked = RequestImageChecksum(s, static_cast<std::uint32_t>(s.ImageSum));
    const auto& link = s.Link;
    if (asked.Ok() && link.ChecksumCompared) {
        if (link.ChecksumMatched) return {};
        TOutcome o{TOutcomeKind::VerifyFailed};
        o.Phase = TPhase::Checksum;
        o.DeviceSum = link.DeviceSum;
        o.LocalSum = s.ImageSum;
        return o;
    }
    TOutcome o = asked;
    if (o.Ok()) o.Kind = TOutcomeKind::NoReply;  // accepted, yet naming no sum
    o.Phase = TPhase::Checksum;
    Note(s, TNoteKind::ImageUnconfirmed);
    return o;
}

}  // namespace

TOutcome CheckImageFile(const std::string& path, std::uint64_t& length) {
    TFile file;
    TOutcome refused;
    const auto opened = OpenImage(path, file, refused);
    if (!opened) return refused;
    if (*opened > MaxImageLength) return TooLong(path, *opened);
    // An empty image would leave the device without firmware.
    if (*opened == 0) return ImageInvalid(TInvalid::ImageEmpty, path);
    length = static_cast<std::uint64_t>(*opened);
    return {};
}

TOutcome UploadFirmware(TDeviceSession& s, const std::string& path) {
    TFile file;
    TOutcome refused;
    const auto length = OpenImage(path, file, refused);
    if (!length) return refused;
    Note(s, TNoteKind::ImageLength, static_cast<std::uint64_t>(*length));
    if (*length > MaxImageLength) {
        Note(s, TNoteKind::ImageTooLong);
        return TooLong(path, *length);
    }
    if (*length == 0) return ImageInvalid(TInvalid::ImageEmpty, path);
    // From the header to the byte-sum check no other program on this PC may talk to the horn.
    // The image buffer is filled only once the horn is held: whatever the wait's events start
    // finds the link busy.
    TTransferHold transfer(s);
    if (!transfer.Held()) {
        TOutcome o = transfer.Outcome();
        o.Phase = TPhase::Header;
        return o;
    }
    const auto size = static_cast<std::size_t>(*length);
    if (std::fread(s.ImageBuffer.data(), 1, size, file.get()) != size)
        return Unreadable(path, std::ferror(file.get()) ? std::strerror(errno) : "it ended early");
    file.reset();
    s.ImageSum = ByteSum({s.ImageBuffer.data(), size});
    Note(s, TNoteKind::ImageSum, s.ImageSum);

    const bool supported = s.Flags.SupportedModel;
    TOutcome header;
    if (LinkFree(s.Link)) {
        PrepareHeader(s, static_cast<std::uint32_t>(size));
        s.Link.PendingCode = 0;
        SendOnly(s, kImageHeaderLength);
    }
    if (!RequestWentOut(s.Link)) {
        header = LinkOutcome(s, supported ? CMD_FILE_HEADER : CMD_IMAGE_HEADER_PLAIN);
        header.Phase = TPhase::Header;
    }

    TTransferProgress start;
    start.Start = true;
    start.Max = static_cast<std::int64_t>(size < kPieceSize ? size : size - kPieceSize);
    s.Tell([&](IDeviceObserver& o) { o.OnTransfer(start); });
    s.Pause.Sleep(supported ? kSupportedPauseMs : kPlainPauseMs);
    const TOutcome data = SendDataPhase(s, static_cast<std::int32_t>(size), true);
    // A device that did not get the whole image is not asked for its sum.
    if (!header.Ok()) return header;
    if (!data.Ok()) return data;
    s.Pause.Sleep(kChecksumPauseMs);
    if (!supported) return NotifyImageChecksum(s, static_cast<std::uint32_t>(s.ImageSum));
    return Verify(s);
}

}  // namespace kstbell
