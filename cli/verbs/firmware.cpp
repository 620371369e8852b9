// firmware: uploads an image the device verifies by its byte sum; the device restarts after a
// confirmed image, and --wait sees it come back with its new version.

#include <CLI/CLI.hpp>

#include <atomic>

#include "cli/device_fields.h"
#include "cli/exit_codes.h"
#include "cli/outcome_text.h"
#include "cli/progress_line.h"
#include "cli/restart_wait.h"
#include "cli/verb_context.h"
#include "device/firmware_update.h"
#include "device/session.h"
#include "protocol/commands.h"
#include "protocol/text.h"

namespace kstbell::cli {

namespace {

// Counts the image bytes into the progress line, and notices a reset that could not be sent
// after the device confirmed the image.
class TUploadWatch : public IDeviceObserver {
  public:
    TUploadWatch(TDeviceSession& s, TProgressLine& progress) : s_(s), progress_(progress) {
        s_.AddObserver(*this);
    }
    ~TUploadWatch() override { s_.RemoveObserver(*this); }
    TUploadWatch(const TUploadWatch&) = delete;
    TUploadWatch& operator=(const TUploadWatch&) = delete;

    void OnTransfer(const TTransferProgress& p) override {
        if (p.Start) {
            counted_ = 0;
            return;
        }
        if (p.Position > counted_) {
            progress_.Add(static_cast<std::uint64_t>(p.Position - counted_));
            counted_ = p.Position;
        }
    }
    void OnNote(const TNote& note) override {
        if (note.Kind == TNoteKind::ChecksumMatch) confirmed_ = true;
        if (note.Kind == TNoteKind::ConnectFailed && confirmed_) resetFailed_ = true;
    }
    // The rest of the image after a whole upload: the last piece is counted at its start.
    void Finish(std::uint64_t length) {
        if (length > static_cast<std::uint64_t>(counted_))
            progress_.Add(length - static_cast<std::uint64_t>(counted_));
        counted_ = static_cast<std::int64_t>(length);
    }
    bool ResetFailed() const { return resetFailed_; }

  private:
    TDeviceSession& s_;
    TProgressLine& progress_;
    std::int64_t counted_ = 0;
    bool confirmed_ = false;
    bool resetFailed_ = false;
};

// The progress line ends when the last upload has ended, before any device is waited for.
struct TUploads {
    TProgressLine& Progress;
    std::atomic<std::size_t> Running;
    void Ended() {
        if (--Running == 0) Progress.End();
    }
};

// Asks for the model (it picks the image header), then uploads. Done when the device confirmed
// the image; otherwise the failure, with context saying when it happened. before receives the
// firmware version the device reported.
TOutcome Upload(const std::string& image, TDeviceSession& s, TUploadWatch& watch,
                std::uint64_t length, std::string& before, std::string& context) {
    const TOutcome asked = RequestDeviceInfo(s);
    if (!asked.Ok()) {
        context = "before the upload";
        return asked;
    }
    if (!s.Flags.SupportedModel)
        return Invalid(TInvalid::None, "the device is model " + std::to_string(s.LastReport.Model) +
                                           "; only model " + std::to_string(kSupportedModelCode) +
                                           " takes firmware from here");
    before = FirmwareVersionText(s.LastReport.FirmwareMajor, s.LastReport.FirmwareMinor);
    const TOutcome uploaded = UploadFirmware(s, image);
    if (uploaded.Ok()) watch.Finish(length);
    return uploaded;
}

void UpdateOne(TVerbContext& c, const std::string& image, bool wait, const std::string& address,
               TDeviceSession& s, std::uint64_t length, TUploads& uploads) {
    TUploadWatch watch(s, uploads.Progress);
    std::string before;
    std::string context;
    TOutcome uploaded;
    {
        TTransferMark transfer(c.Env);
        uploaded = Upload(image, s, watch, length, before, context);
    }
    uploads.Ended();
    if (!uploaded.Ok()) {
        c.Report.Failure(address,
                         context.empty() ? ErrorJson(uploaded) : ErrorJson(uploaded, context));
        return;
    }
    if (watch.ResetFailed()) {
        c.Report.Failure(address, ErrorJson({TOutcomeKind::Unreachable},
                                            "the image was stored and confirmed, but the reset "
                                            "that starts it could not be sent"));
        return;
    }
    c.Pending.Restarted(address);
    nlohmann::ordered_json result{
        {"image", image},   {"bytes", length},           {"sum", "0x" + Hex8(s.ImageSum)},
        {"verified", true}, {"firmware_before", before}, {"restart_sent", true}};
    std::string human = address + "  firmware " + before + ": image of " + std::to_string(length) +
                        " bytes stored, byte sum 0x" + Hex8(s.ImageSum) + " confirmed; restarting";
    if (!wait) {
        c.Report.Success(address, result, human);
        return;
    }
    long waited = 0;
    const TOutcome back = WaitUntilBack(s, c.Env, waited);
    if (!back.Ok() && c.Stopped()) {
        c.Report.Interrupted(address, InterruptedWaiting("the image was stored, its byte sum "
                                                         "confirmed and the restart sent"));
        return;
    }
    if (!back.Ok()) {
        c.Report.Failure(address, ErrorJson(back,
                                            "the image was stored and confirmed; the device "
                                            "did not answer again after its restart"));
        return;
    }
    const std::string after =
        FirmwareVersionText(s.LastReport.FirmwareMajor, s.LastReport.FirmwareMinor);
    result["firmware_after"] = after;
    result["back_after_ms"] = waited;
    c.Report.Success(
        address, result,
        human + "; back after " + std::to_string(waited) + " ms with firmware " + after);
}

class TFirmware final : public TVerb {
  public:
    TFirmware()
        : TVerb({"firmware", "upload a firmware image, verified by its byte sum",
                 "image, bytes, sum, verified, firmware_before, restart_sent, firmware_after and "
                 "back_after_ms (--wait)"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("IMAGE", image_, "the image file (at most 2 MiB)")
            ->type_name("IMAGE")
            ->required();
        verb.add_flag("--wait", wait_,
                      "wait until the device answers again (60 s at most) and report the "
                      "firmware version after");
    }

    int Run(TVerbContext& c) override {
        const std::string& image = image_;
        std::uint64_t length = 0;
        if (const TOutcome checked = CheckImageFile(image, length); !checked.Ok()) {
            // A folder, a device or an empty file is no image at all: a usage error.
            if (checked.Invalid == TInvalid::ImageNotFile ||
                checked.Invalid == TInvalid::ImageEmpty) {
                c.Report.Error(OutcomeMessage(checked));
                return kExitUsage;
            }
            FailAll(c, checked);
            return c.Report.ExitCode();
        }
        int exitCode = 0;
        if (!ConsentTo(c,
                       "Upload the firmware " + image + " (" + std::to_string(length) +
                           " bytes) to " + DeviceListText(c.Devices) +
                           "? Each device restarts once it confirmed the image.",
                       exitCode))
            return exitCode;
        TProgressLine progress(c.Err, c.Env.ErrIsTerminal && !c.Global.Json && !c.Global.Quiet,
                               "firmware", length * c.Devices.size());
        TUploads uploads{progress, c.Devices.size()};
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            UpdateOne(c, image, wait_, address, s, length, uploads);
        });
        return c.Report.ExitCode();
    }

  private:
    std::string image_;
    bool wait_ = false;
};

}  // namespace

std::unique_ptr<TVerb> MakeFirmwareVerb() {
    return std::make_unique<TFirmware>();
}

}  // namespace kstbell::cli
