#include "sim/horn.h"

#include <utility>

#include "sim/firmware_image.h"

namespace kstbell::sim {

namespace {

constexpr auto kUploadExpiry = std::chrono::seconds(10);  // header to data connection
// The plain firmware header names the image without its folder.
constexpr const char* kPlainImageName = "mcuimg.bin";

std::string Quoted(const std::string& text) {
    return "\"" + EscapeForLog(text) + "\"";
}

}  // namespace

THorn::THorn(const THornSetup& setup, TSimLog log)
    : log_(std::move(log)),
      relayLog_(setup.RelayLog),
      address_(setup.Address),
      flash_(setup.StateDir, [this](const std::string& line) { log_.Line(line); }),
      faults_(setup.Faults) {
    live_.Model = setup.Model;
    live_.Address = setup.ReportedAddress;
    live_.Mac = setup.Mac;
    PowerOn();
}

void THorn::Boot() {
    flash_.LoadMirror();
    PowerOn();
}

void THorn::PowerOn() {
    const auto* image = flash_.Find(paths::kFirmware);
    live_.Firmware = image ? FirmwareVersionOf(*image) : kBuiltInFirmware;
    running_ = LoadRunningConfig(flash_.All());
    webLoginKey_ = running_.WebLoginKey;
    tone_ = 0;
    SetRelay(0);
    pending_.reset();
}

void THorn::Restart() {
    ++restartCount_;
    PowerOn();
    log_.Line("restart #" + std::to_string(restartCount_) + ": firmware " +
              std::to_string(live_.Firmware.Major) + "." + std::to_string(live_.Firmware.Minor) +
              ", location " + Quoted(running_.Location) + ", Wi-Fi mode " +
              std::to_string(running_.WifiMode));
}

void THorn::SetRelay(std::uint8_t relay) {
    if (relay != live_.Relay && relayLog_) relayLog_->Changed(address_, relay, tone_);
    live_.Relay = relay;
}

TSimSnapshot THorn::Snapshot() const {
    TSimSnapshot snapshot;
    snapshot.Relay = live_.Relay;
    snapshot.Tone = tone_;
    snapshot.Input = live_.Input;
    snapshot.LocatorCount = locatorCount_;
    snapshot.RestartCount = restartCount_;
    snapshot.WebLoginKey = webLoginKey_;
    snapshot.WifiMode = running_.WifiMode;
    snapshot.Location = running_.Location;
    snapshot.FirmwareMajor = live_.Firmware.Major;
    snapshot.FirmwareMinor = live_.Firmware.Minor;
    snapshot.Mac = live_.Mac;
    return snapshot;
}

bool THorn::AwaitsData(TSimClock::time_point now) const {
    return pending_ && now - pending_->Announced <= kUploadExpiry;
}

std::optional<TPendingUpload> THorn::TakeUpload(std::uint32_t client, TSimClock::time_point now) {
    if (!pending_ || pending_->Client != client) return std::nullopt;
    std::optional<TPendingUpload> upload;
    upload.swap(pending_);
    if (now - upload->Announced > kUploadExpiry) {
        log_.Line("upload of " + Quoted(upload->Path) + " expired without a data connection");
        return std::nullopt;
    }
    return upload;
}

bool THorn::FinishUpload(const TPendingUpload& upload, std::vector<std::uint8_t> data) {
    const std::string path = Quoted(upload.Path);
    log_.Line("data connection for " + path + " (" + std::to_string(upload.Length) +
              " announced): " + FormatBytes(data, 32));
    // The record keeps what arrived; only flash sees the corrupt-image damage.
    record_.Add(data, true);
    // The data phase delivers exactly the announced length; the sum tells whether it is intact.
    const auto sum = static_cast<std::uint32_t>(ByteSum(data));
    if (sum != upload.Sum) {
        log_.Line("byte sum " + std::to_string(sum) + " of " + path + " differs from the " +
                  std::to_string(upload.Sum) + " its header announced: not stored");
        return false;
    }
    if (faults_.CorruptStoredImage && upload.Path == paths::kFirmware) {
        log_.Line(CorruptImage(data) ? "image corrupted on its way to flash"
                                     : "empty image stored as it is, nothing to corrupt");
    }
    switch (flash_.Write(upload.Path, std::move(data))) {
        case EFlashResult::Done:
            return true;
        case EFlashResult::NoSpace:
            log_.Line(path + " no longer fits the flash: not stored");
            return false;
        default:
            log_.Line(path + " not stored");
            return false;
    }
}

void THorn::AbandonUpload(const TPendingUpload& upload, std::span<const std::uint8_t> data,
                          const char* how) {
    log_.Line("data connection for " + Quoted(upload.Path) + " " + how + " after " +
              std::to_string(data.size()) + " of " + std::to_string(upload.Length) +
              " bytes: not stored");
    record_.Add(data, true);
}

std::optional<std::vector<std::uint8_t>> THorn::AcceptHeader(const TParsedRequest& request,
                                                             std::uint32_t client) {
    const bool plain = request.Code == CodeImageHeaderPlain;
    const auto refuse = [&](const std::string& why) {
        log_.Line("upload refused: " + why);
        return plain ? std::nullopt : std::optional(StatusReply(request.Code, kStatusNak));
    };
    std::optional<std::string> path = RequestPath(request);
    if (plain && path == kPlainImageName) path = paths::kFirmware;
    if (!path || !IsValidDevicePath(*path)) {
        return refuse(path ? "bad path " + Quoted(*path) : std::string("bad path"));
    }
    const std::uint32_t length = request.Be32(5);
    if (!flash_.Fits(*path, length)) {
        return refuse(std::to_string(length) + " bytes for " + Quoted(*path) +
                      " do not fit the flash");
    }
    if (!flash_.CanSave(*path)) return refuse(Quoted(*path) + " cannot be saved");
    pending_ = TPendingUpload{*path, length, request.Be32(9), client, TSimClock::now()};
    log_.Line("expecting " + std::to_string(length) + " bytes for " + Quoted(*path));
    return plain ? std::nullopt : std::optional(StatusReply(request.Code, kStatusAck));
}

std::optional<std::vector<std::uint8_t>> THorn::KillFile(const TParsedRequest& request) {
    const auto path = RequestPath(request);
    if (!path || !IsValidDevicePath(*path)) {
        log_.Line("kill file refused: bad path");
        return StatusReply(request.Code, kStatusNak);
    }
    switch (flash_.Remove(*path)) {
        case EFlashResult::SaveFailed:
            log_.Line("kill file refused: " + Quoted(*path) + " stays");
            return StatusReply(request.Code, kStatusNak);
        case EFlashResult::Missing:
            log_.Line("kill file: no file " + Quoted(*path));
            break;
        default:
            break;
    }
    return StatusReply(request.Code, kStatusAck);
}

std::vector<std::uint8_t> THorn::KillConfig() {
    if (flash_.RemoveUnder(paths::kLocalPrefix) != EFlashResult::Done) {
        log_.Line("factory reset refused: configuration files stay");
        return StatusReply(CodeKillConfig, kStatusNak);
    }
    Restart();
    return StatusReply(CodeKillConfig, kStatusAck);
}

std::vector<std::uint8_t> THorn::SetWifiMode(const TParsedRequest& request) {
    // Stored now, in force after the restart that follows at once.
    if (flash_.Write(paths::kWifiMode, {request.At(5)}) != EFlashResult::Done) {
        log_.Line("Wi-Fi mode refused: it cannot be stored");
        return StatusReply(CodeSetWifiMode, kStatusNak);
    }
    Restart();
    return StatusReply(CodeSetWifiMode, kStatusAck);
}

std::vector<std::uint8_t> THorn::SetWebLoginKey(const TParsedRequest& request) {
    const auto first = request.Bytes.begin() + 6;
    std::vector<std::uint8_t> key(first, first + request.At(5));
    std::string text(key.begin(), key.end());
    if (flash_.Write(paths::kWebKey, std::move(key)) != EFlashResult::Done) {
        log_.Line("web login key refused: it cannot be stored");
        return StatusReply(CodeSetWebLoginKey, kStatusNak);
    }
    webLoginKey_ = std::move(text);
    return StatusReply(CodeSetWebLoginKey, kStatusAck);
}

std::optional<std::vector<std::uint8_t>> THorn::Execute(const TParsedRequest& request,
                                                        std::uint32_t client) {
    const std::uint8_t code = request.Code;
    // A refusing device does nothing for the commands it answers; the ones it never answers
    // cannot be refused.
    const bool answered =
        code != CodeImageChecksumNotify && code != CodeReset && code != CodeImageHeaderPlain;
    if (faults_.NegativeStatus && answered) return StatusReply(code, kStatusNak);

    switch (code) {
        case CodeSetLocator:
            ++locatorCount_;
            return StatusReply(code, kStatusAck);
        case CodeGetDeviceInfo:
            return DeviceInfoReply(live_, running_);
        case CodeGetImageChecksum: {
            const auto* image = flash_.Find(paths::kFirmware);
            return ImageChecksumReply(
                static_cast<std::uint32_t>(image ? ByteSum(*image) : std::uint64_t{0}));
        }
        case CodeImageChecksumNotify:
            log_.Line("image checksum notice: " + std::to_string(request.Be32(5)));
            return std::nullopt;
        case CodeReset:
            Restart();
            return std::nullopt;
        case CodeSetWifiMode:
            return SetWifiMode(request);
        case CodeSetWebLoginKey:
            return SetWebLoginKey(request);
        case CodeImageHeaderPlain:
        case CodeFileHeader:
            return AcceptHeader(request, client);
        case CodeKillFile:
            return KillFile(request);
        case CodeKillConfig:
            return KillConfig();
        case CodeSetOutput:
            tone_ = request.At(7);
            SetRelay(request.At(6));
            return SetOutputReply(live_);
        case CodeGetStatus:
            return StatusPollReply(live_);
        case CodeModbusUpdated:
            return StatusReply(code, kStatusAck);
        default:
            return StatusReply(code, kStatusNak);
    }
}

}  // namespace kstbell::sim
