#include "sim/device_simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "sim/firmware_image.h"
#include "sim/flash_store.h"
#include "sim/replies.h"
#include "sim/request_parser.h"
#include "sim/running_config.h"
#include "sim/sim_log.h"
#include "sim/socket_io.h"
#include "sim/unique_fd.h"

namespace kstbell::sim {

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kReadTimeoutMs = 2000;  // a silent client cannot hold the server longer
constexpr int kDrainIdleMs = 1000;    // after the reply: wait this long for the client to close
constexpr int kDrainTotalMs = 2000;   // and never longer than this in all
constexpr auto kUploadExpiry = std::chrono::seconds(10);   // header to data connection
constexpr std::uint32_t kMaxUpload = 20u * 1024u * 1024u;  // the host's transfer buffer
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr int kAcceptRetryMs = 50;
constexpr std::uint8_t kReplyFiller = 0xEE;  // what lengthened replies are padded with
// The plain firmware header names the image without its folder.
constexpr const char* kPlainImageName = "mcuimg.bin";

// A file header that was accepted and waits for its data connection.
struct TPendingUpload {
    std::string Path;
    std::uint32_t Length = 0;
    std::uint32_t Sum = 0;
    TClock::time_point Announced;
};

// Announces a segment size on the listener for the connections it accepts from now on.
void ApplySegmentSize(int listener, int size) {
    ::setsockopt(listener, IPPROTO_TCP, TCP_MAXSEG, &size, sizeof size);
}

std::array<std::uint8_t, 4> ParseAddress(const std::string& text) {
    std::array<std::uint8_t, 4> parts{};
    in_addr addr{};
    if (::inet_pton(AF_INET, text.c_str(), &addr) == 1) std::memcpy(parts.data(), &addr, 4);
    return parts;
}

}  // namespace

struct TDeviceSimulator::TImpl {
    explicit TImpl(TSimOptions options)
        : Options(std::move(options)),
          Log(Options.LogToStderr),
          Flash(Options.StateDir, [this](const std::string& line) { Log.Line(line); }) {
        Live.Model = Options.Model;
        Live.Address = ParseAddress(Options.ReportedAddress.value_or(Options.BindAddress));
        Faults = Options.Faults;
        BoundPortNumber = Options.Port;
        PowerOn();
    }

    // --- state, all behind Mutex -------------------------------------------------------------

    const TSimOptions Options;
    const TSimLog Log;
    mutable std::mutex Mutex;
    TFlashStore Flash;
    TRunningConfig Running;
    TLiveState Live;
    std::uint8_t Tone = 0;
    int LocatorCount = 0;
    int RestartCount = 0;
    std::string WebLoginKey;
    TSimFaults Faults;
    std::vector<TSimRequest> Served;
    std::optional<TPendingUpload> Pending;
    std::atomic<std::uint16_t> BoundPortNumber{0};

    // --- server thread -----------------------------------------------------------------------

    TUniqueFd Listener;
    TUniqueFd Wake;
    std::thread Server;

    // Boots as the device does: runs the firmware image in flash and reads the configuration
    // files. Mutex held or not shared.
    void PowerOn() {
        const auto image = Flash.Read(paths::kFirmware);
        Live.Firmware = image ? FirmwareVersionOf(*image) : kBuiltInFirmware;
        Running = LoadRunningConfig(Flash.All());
        WebLoginKey = Running.WebLoginKey;
        Live.Relay = 0;
        Tone = 0;
        Pending.reset();
    }

    void RestartLocked() {
        ++RestartCount;
        PowerOn();
        Log.Line("restart #" + std::to_string(RestartCount) + ": firmware " +
                 std::to_string(Live.Firmware.Major) + "." + std::to_string(Live.Firmware.Minor) +
                 ", location \"" + Running.Location + "\", Wi-Fi mode " +
                 std::to_string(Running.WifiMode));
    }

    TSimFaults CurrentFaults() const {
        std::lock_guard lock(Mutex);
        return Faults;
    }

    void Record(std::vector<std::uint8_t> bytes, bool data) {
        std::lock_guard lock(Mutex);
        Served.push_back(TSimRequest{std::move(bytes), data});
    }

    void Run();
    void ServeConnection(TUniqueFd conn);
    std::optional<TPendingUpload> TakeUpload();
    void ReceiveUpload(TUniqueFd& conn, const TPendingUpload& upload);
    std::vector<std::uint8_t> ReadFrame(TUniqueFd& conn, bool& stopped);
    std::optional<std::vector<std::uint8_t>> Execute(const TParsedRequest& request);
    std::optional<std::vector<std::uint8_t>> AcceptHeader(const TParsedRequest& request);
    bool SendReply(TUniqueFd& conn, std::vector<std::uint8_t> reply, const TSimFaults& faults);
    void Hold(TUniqueFd& conn);
    void Finish(TUniqueFd& conn);
};

void TDeviceSimulator::TImpl::Run() {
    for (;;) {
        pollfd fds[2] = {{Wake.Get(), POLLIN, 0}, {Listener.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            Log.Line(std::string("poll failed: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) return;
        if (fds[1].revents == 0) continue;
        TUniqueFd conn(::accept4(Listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!conn.Valid()) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ||
                errno == ECONNABORTED) {
                continue;
            }
            // Out of descriptors or similar: back off instead of spinning.
            Log.Line(std::string("accept failed: ") + std::strerror(errno));
            if (!PauseUnlessWoken(Wake.Get(), kAcceptRetryMs)) return;
            continue;
        }
        const int on = 1;
        ::setsockopt(conn.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ServeConnection(std::move(conn));
    }
}

void TDeviceSimulator::TImpl::ServeConnection(TUniqueFd conn) {
    if (CurrentFaults().CloseOnAccept) {
        Log.Line("connection closed on accept");
        return;
    }
    if (const auto upload = TakeUpload()) {
        ReceiveUpload(conn, *upload);
        return;
    }

    bool stopped = false;
    std::vector<std::uint8_t> bytes = ReadFrame(conn, stopped);
    if (stopped) return;
    if (bytes.empty()) {
        Log.Line("connection closed without a request");
        return;
    }
    TParseOutcome outcome = ParseRequest(bytes);
    Record(outcome.Request ? outcome.Request->Bytes : bytes, false);

    std::optional<std::vector<std::uint8_t>> reply;
    if (outcome.Error) {
        switch (*outcome.Error) {
            case EParseError::WrongMagic:
                Log.Line("wrong magic, request dropped: " + FormatBytes(bytes));
                Finish(conn);
                return;
            case EParseError::Short:
                Log.Line("short request dropped: " + FormatBytes(bytes));
                Finish(conn);
                return;
            case EParseError::UnknownCode:
                Log.Line("unknown code " + FormatCode(bytes[4]) + ": " + FormatBytes(bytes));
                reply = StatusReply(bytes[4], kStatusNak);
                break;
        }
    } else {
        Log.Line("request " + FormatCode(outcome.Request->Code) + ": " +
                 FormatBytes(outcome.Request->Bytes));
    }

    const TSimFaults faults = CurrentFaults();
    if (faults.NeverAnswer) {
        Log.Line("holding the connection without an answer");
        Hold(conn);
        return;
    }
    if (outcome.Request) reply = Execute(*outcome.Request);
    if (reply && !SendReply(conn, std::move(*reply), faults)) return;
    Finish(conn);
}

std::vector<std::uint8_t> TDeviceSimulator::TImpl::ReadFrame(TUniqueFd& conn, bool& stopped) {
    std::vector<std::uint8_t> bytes;
    TFrameCheck check = CheckFrame(bytes);
    while (check.State == EFrameState::NeedMore) {
        const EIoResult result = ReadSome(conn.Get(), Wake.Get(), kReadTimeoutMs, bytes, 4096);
        if (result == EIoResult::Stopped) stopped = true;
        if (result == EIoResult::Timeout && !bytes.empty()) {
            Log.Line("request incomplete after " + std::to_string(kReadTimeoutMs) + " ms");
        }
        if (result != EIoResult::Data) return bytes;
        check = CheckFrame(bytes);
    }
    // Longer variants of a request arrive in the same write; take what is already there.
    if (check.State == EFrameState::Complete && bytes.size() < check.Bounds.Max) {
        ReadSome(conn.Get(), Wake.Get(), 0, bytes, check.Bounds.Max - bytes.size());
    }
    return bytes;
}

std::optional<TPendingUpload> TDeviceSimulator::TImpl::TakeUpload() {
    std::lock_guard lock(Mutex);
    if (!Pending) return std::nullopt;
    std::optional<TPendingUpload> upload;
    upload.swap(Pending);
    if (TClock::now() - upload->Announced > kUploadExpiry) {
        Log.Line("upload of " + upload->Path + " expired without a data connection");
        return std::nullopt;
    }
    return upload;
}

void TDeviceSimulator::TImpl::ReceiveUpload(TUniqueFd& conn, const TPendingUpload& upload) {
    const TSimFaults faults = CurrentFaults();
    // A broken data connection stores nothing; what arrived is still recorded.
    const auto breakOff = [&](std::vector<std::uint8_t> data, const char* how) {
        Log.Line("data connection for " + upload.Path + " " + how + " after " +
                 std::to_string(data.size()) + " bytes");
        Record(std::move(data), true);
        CloseWithReset(conn);
    };
    if (faults.StallDataMs > 0) {
        if (!PauseUnlessWoken(Wake.Get(), faults.StallDataMs)) return;
        breakOff({}, "stalled, then reset");
        return;
    }
    std::vector<std::uint8_t> data;
    data.reserve(upload.Length);
    while (data.size() < upload.Length) {
        if (faults.ResetDataAfter >= 0 &&
            data.size() >= static_cast<std::size_t>(faults.ResetDataAfter)) {
            breakOff(std::move(data), "reset");
            return;
        }
        std::size_t want = std::min<std::size_t>(kReadChunk, upload.Length - data.size());
        if (faults.ResetDataAfter >= 0)
            want = std::min(want, static_cast<std::size_t>(faults.ResetDataAfter) - data.size());
        const EIoResult result = ReadSome(conn.Get(), Wake.Get(), kReadTimeoutMs, data, want);
        if (result == EIoResult::Stopped) return;
        if (result != EIoResult::Data) break;
    }
    const bool complete = data.size() == upload.Length;
    const std::uint64_t sum = ByteSum(data);
    Log.Line("data connection for " + upload.Path + " (" + std::to_string(upload.Length) +
             " announced): " + FormatBytes(data, 32));
    if (!complete) {
        Log.Line("data incomplete, " + upload.Path + " not stored");
    } else if (static_cast<std::uint32_t>(sum) != upload.Sum) {
        Log.Line("byte sum of " + upload.Path + " differs from its header; stored as received");
    }
    {
        std::lock_guard lock(Mutex);
        if (complete) {
            // The log and the request list keep what arrived; only flash sees the damage.
            std::vector<std::uint8_t> stored = data;
            if (Faults.CorruptStoredImage && upload.Path == paths::kFirmware) {
                Log.Line(CorruptImage(stored) ? "image corrupted on its way to flash"
                                              : "empty image stored as it is, nothing to corrupt");
            }
            Flash.Write(upload.Path, std::move(stored));
        }
        Served.push_back(TSimRequest{std::move(data), true});
    }
    Finish(conn);
}

std::optional<std::vector<std::uint8_t>> TDeviceSimulator::TImpl::AcceptHeader(
    const TParsedRequest& request) {
    const bool plain = request.Code == CodeImageHeaderPlain;
    std::optional<std::string> path = RequestPath(request);
    if (plain && path == kPlainImageName) path = paths::kFirmware;
    const std::uint32_t length = request.Be32(5);
    const bool pathOk = path && IsValidDevicePath(*path);
    if (!pathOk || length > kMaxUpload) {
        Log.Line(pathOk ? "upload refused: " + std::to_string(length) + " bytes is too long"
                        : "upload refused: bad path");
        return plain ? std::nullopt : std::optional(StatusReply(request.Code, kStatusNak));
    }
    Pending = TPendingUpload{*path, length, request.Be32(9), TClock::now()};
    Log.Line("expecting " + std::to_string(length) + " bytes for " + *path);
    return plain ? std::nullopt : std::optional(StatusReply(request.Code, kStatusAck));
}

std::optional<std::vector<std::uint8_t>> TDeviceSimulator::TImpl::Execute(
    const TParsedRequest& request) {
    const std::uint8_t code = request.Code;
    const auto ack = [code] { return std::optional(StatusReply(code, kStatusAck)); };
    std::lock_guard lock(Mutex);

    // A refusing device does nothing for the commands it answers; the ones it never answers
    // cannot be refused.
    const bool answered =
        code != CodeImageChecksumNotify && code != CodeReset && code != CodeImageHeaderPlain;
    if (Faults.NegativeStatus && answered) return StatusReply(code, kStatusNak);

    switch (code) {
        case CodeSetLocator:
            ++LocatorCount;
            return ack();
        case CodeGetDeviceInfo:
            return DeviceInfoReply(Live, Running);
        case CodeGetImageChecksum: {
            const auto image = Flash.Read(paths::kFirmware);
            return ImageChecksumReply(
                static_cast<std::uint32_t>(image ? ByteSum(*image) : std::uint64_t{0}));
        }
        case CodeImageChecksumNotify:
            Log.Line("image checksum notice: " + std::to_string(request.Be32(5)));
            return std::nullopt;
        case CodeReset:
            RestartLocked();
            return std::nullopt;
        case CodeSetWifiMode:
            // Stored now, in force after the restart that follows at once.
            Flash.Write(paths::kWifiMode, {request.At(5)});
            RestartLocked();
            return ack();
        case CodeSetWebLoginKey: {
            const auto first = request.Bytes.begin() + 6;
            std::vector<std::uint8_t> key(first, first + request.At(5));
            WebLoginKey.assign(key.begin(), key.end());
            Flash.Write(paths::kWebKey, std::move(key));
            return ack();
        }
        case CodeImageHeaderPlain:
        case CodeFileHeader:
            return AcceptHeader(request);
        case CodeKillFile: {
            const auto path = RequestPath(request);
            if (!path || !IsValidDevicePath(*path)) {
                Log.Line("kill file refused: bad path");
                return StatusReply(code, kStatusNak);
            }
            if (!Flash.Remove(*path)) Log.Line("kill file: no file " + *path);
            return ack();
        }
        case CodeKillConfig:
            Flash.RemoveUnder(paths::kLocalPrefix);
            RestartLocked();
            return ack();
        case CodeSetOutput:
            Live.Relay = request.At(6);
            Tone = request.At(7);
            return SetOutputReply(Live);
        case CodeGetStatus:
            return StatusPollReply(Live);
        case CodeModbusUpdated:
            return ack();
        default:
            return StatusReply(code, kStatusNak);
    }
}

bool TDeviceSimulator::TImpl::SendReply(TUniqueFd& conn, std::vector<std::uint8_t> reply,
                                        const TSimFaults& faults) {
    if (faults.WrongMagic) std::fill_n(reply.begin(), 4, std::uint8_t{0});
    if (faults.ReplyDelayMs > 0 && !PauseUnlessWoken(Wake.Get(), faults.ReplyDelayMs)) {
        return false;
    }
    if (reply.size() < faults.PadReplyTo) reply.resize(faults.PadReplyTo, kReplyFiller);
    const std::span<const std::uint8_t> whole(reply);
    const std::size_t half = reply.size() / 2;
    if (faults.ResetMidReply) {
        SendAll(conn.Get(), whole.first(half));
        CloseWithReset(conn);
        return false;
    }
    if (faults.CutReplyAfter >= 0) {
        // The caller ends the connection in order: the client sees the end of the stream.
        const auto cut = std::min(reply.size(), static_cast<std::size_t>(faults.CutReplyAfter));
        return SendAll(conn.Get(), whole.first(cut));
    }
    if (faults.TrickleGapMs > 0) {
        for (std::size_t i = 0; i < whole.size(); ++i) {
            if (i > 0 && !PauseUnlessWoken(Wake.Get(), faults.TrickleGapMs)) return false;
            if (!SendAll(conn.Get(), whole.subspan(i, 1))) return false;
        }
        return true;
    }
    if (faults.SplitReplyGapMs > 0) {
        if (!SendAll(conn.Get(), whole.first(half))) return false;
        if (!PauseUnlessWoken(Wake.Get(), faults.SplitReplyGapMs)) return false;
        SendAll(conn.Get(), whole.subspan(half));
        return true;
    }
    // A send-only client may have gone already; that is no error for the device.
    SendAll(conn.Get(), whole);
    return true;
}

void TDeviceSimulator::TImpl::Hold(TUniqueFd& conn) {
    std::vector<std::uint8_t> discard;
    for (;;) {
        discard.clear();
        if (ReadSome(conn.Get(), Wake.Get(), -1, discard, 4096) != EIoResult::Data) return;
    }
}

// Ends the exchange in order: our side is done, then whatever the client still sends is read
// and dropped until it closes, so that unread bytes never turn the close into a reset.
void TDeviceSimulator::TImpl::Finish(TUniqueFd& conn) {
    ::shutdown(conn.Get(), SHUT_WR);
    const auto deadline = TClock::now() + std::chrono::milliseconds(kDrainTotalMs);
    std::vector<std::uint8_t> discard;
    while (TClock::now() < deadline) {
        discard.clear();
        if (ReadSome(conn.Get(), Wake.Get(), kDrainIdleMs, discard, 4096) != EIoResult::Data) {
            return;
        }
    }
}

// --- public interface ------------------------------------------------------------------------

TDeviceSimulator::TDeviceSimulator(TSimOptions options)
    : impl_(std::make_unique<TImpl>(std::move(options))) {}

TDeviceSimulator::~TDeviceSimulator() {
    Stop();
}

void TDeviceSimulator::Start() {
    if (impl_->Server.joinable()) return;
    {
        std::lock_guard lock(impl_->Mutex);
        impl_->Flash.LoadMirror();
        impl_->PowerOn();
    }
    TUniqueFd listener = ListenTcp(impl_->Options.BindAddress, impl_->Options.Port);
    TUniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    impl_->BoundPortNumber = BoundPort(listener.Get());
    if (const int size = impl_->CurrentFaults().SegmentSize; size > 0)
        ApplySegmentSize(listener.Get(), size);
    impl_->Listener = std::move(listener);
    impl_->Wake = std::move(wake);
    impl_->Log.Line("listening on " + impl_->Options.BindAddress + ":" +
                    std::to_string(impl_->BoundPortNumber.load()));
    impl_->Server = std::thread([impl = impl_.get()] { impl->Run(); });
}

void TDeviceSimulator::Stop() {
    if (!impl_->Server.joinable()) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(impl_->Wake.Get(), &one, sizeof one);
    impl_->Server.join();
    impl_->Listener.Reset();
    impl_->Wake.Reset();
}

std::uint16_t TDeviceSimulator::Port() const {
    return impl_->BoundPortNumber;
}

void TDeviceSimulator::SetFaults(const TSimFaults& faults) {
    std::lock_guard lock(impl_->Mutex);
    if (impl_->Listener.Valid() && faults.SegmentSize != impl_->Faults.SegmentSize)
        ApplySegmentSize(impl_->Listener.Get(), faults.SegmentSize);
    impl_->Faults = faults;
}

void TDeviceSimulator::SetInput(std::uint8_t input) {
    std::lock_guard lock(impl_->Mutex);
    impl_->Live.Input = input;
}

std::vector<TSimRequest> TDeviceSimulator::Requests() const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->Served;
}

void TDeviceSimulator::ClearRequests() {
    std::lock_guard lock(impl_->Mutex);
    impl_->Served.clear();
}

TSimSnapshot TDeviceSimulator::Snapshot() const {
    std::lock_guard lock(impl_->Mutex);
    TSimSnapshot snapshot;
    snapshot.Relay = impl_->Live.Relay;
    snapshot.Tone = impl_->Tone;
    snapshot.Input = impl_->Live.Input;
    snapshot.LocatorCount = impl_->LocatorCount;
    snapshot.RestartCount = impl_->RestartCount;
    snapshot.WebLoginKey = impl_->WebLoginKey;
    snapshot.WifiMode = impl_->Running.WifiMode;
    snapshot.Location = impl_->Running.Location;
    snapshot.FirmwareMajor = impl_->Live.Firmware.Major;
    snapshot.FirmwareMinor = impl_->Live.Firmware.Minor;
    return snapshot;
}

std::optional<std::vector<std::uint8_t>> TDeviceSimulator::ReadFile(const std::string& path) const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->Flash.Read(path);
}

std::map<std::string, std::vector<std::uint8_t>> TDeviceSimulator::Files() const {
    std::lock_guard lock(impl_->Mutex);
    return impl_->Flash.All();
}

void TDeviceSimulator::Restart() {
    std::lock_guard lock(impl_->Mutex);
    impl_->RestartLocked();
}

}  // namespace kstbell::sim
