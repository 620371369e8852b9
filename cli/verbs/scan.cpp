// scan: finds horns by asking every address of the ranges for its information.

#include <CLI/CLI.hpp>

#include <atomic>

#include "cli/device_fields.h"
#include "cli/exit_codes.h"
#include "cli/text_safety.h"
#include "cli/verb_context.h"
#include "protocol/text.h"
#include "site/device_list.h"

namespace kstbell::cli {

namespace {

std::string Padded(std::string text, std::size_t width) {
    text.append(text.size() < width ? width - text.size() : 1, ' ');
    return text;
}

std::string Counted(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string ScanHeading() {
    return Padded("DEVICE", 16) + Padded("MODEL", 6) + Padded("MAC", 18) + Padded("FIRMWARE", 9) +
           Padded("MODE", 8) + "LOCATION";
}

std::string ScanRow(const std::string& device, const TDeviceInfo& info) {
    return Padded(device, 16) + Padded(std::to_string(info.Model), 6) +
           Padded(MacToText(info.Mac.data(), info.Mac.size()), 18) +
           Padded(FirmwareVersionText(info.FirmwareMajor, info.FirmwareMinor), 9) +
           Padded(WifiModeName(info.WifiMode), 8) + EscapeForTerminal(info.Location);
}

class TScan final : public TVerb {
  public:
    TScan()
        : TVerb({"scan", "find horns: get-information on every address of the ranges",
                 kInfoFieldsHelp, TVerbTarget::Own}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("CIDR", ranges_, "addresses or ranges A.B.C.D/N")->required();
    }

    int Run(TVerbContext& c) override {
        std::vector<std::string> addresses;
        for (const auto& range : ranges_) {
            std::string error;
            if (!site::ExpandTarget(range, addresses, error, DeviceLimit(c.Global))) {
                c.Report.Error(error);
                return kExitUsage;
            }
        }
        site::RemoveRepeats(addresses);
        // A range is probed at once: every address that accepts and never answers costs one
        // reply wait, in parallel with the others.
        site::TSessionOptions options = c.Engine;
        if (!c.Global.ParallelGiven) options.Parallel = kScanParallel;
        c.Report.SetHeading(ScanHeading());
        std::atomic<std::size_t> silent{0};
        std::atomic<std::size_t> unreachable{0};
        site::ForEachDevice(
            addresses, options, c.Network,
            [&](const std::string& address, TDeviceSession& s) {
                const TOutcome o = RequestDeviceInfo(s);
                if (o.Ok())
                    c.Report.Success(address, InfoJson(s.LastReport),
                                     ScanRow(address, s.LastReport));
                else if (o.Kind == TOutcomeKind::Refused)
                    c.Report.Failure(address, o);  // something that speaks the protocol refused
                else if (o.Kind == TOutcomeKind::Unreachable)
                    ++unreachable;
                else
                    ++silent;
            },
            c.Env.Stop);
        const std::size_t found = c.Report.Successes() + c.Report.Failures();
        if (c.Stopped()) {
            c.Report.Remark("scan interrupted: " + Counted(found, "horn", "horns") +
                            " answered before it stopped; the other addresses were not all asked");
            return kExitInterrupted;
        }
        c.Report.Remark("scanned " + Counted(addresses.size(), "address", "addresses") + ": " +
                        Counted(found, "horn", "horns") + " answered, " + std::to_string(silent) +
                        " accepted a connection but did not answer, " +
                        std::to_string(unreachable) + " unreachable");
        return found == 0 ? kExitUnreachable : c.Report.ExitCode();
    }

  private:
    std::vector<std::string> ranges_;
};

}  // namespace

std::unique_ptr<TVerb> MakeScanVerb() {
    return std::make_unique<TScan>();
}

}  // namespace kstbell::cli
