// wifi-mode: switches between access-point and station mode; the device restarts at once.

#include <CLI/CLI.hpp>

#include "cli/each_command.h"
#include "device/device_actions.h"

namespace kstbell::cli {

namespace {

class TWifiMode final : public TVerb {
  public:
    TWifiMode()
        : TVerb({"wifi-mode", "switch to access-point or station mode; the device restarts at once",
                 "wifi_mode, restarting"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("MODE", mode_, "ap or station")
            ->type_name("MODE")
            ->required()
            ->check(CLI::IsMember({"ap", "station"}));
    }

    int Run(TVerbContext& c) override {
        const bool accessPoint = mode_ == "ap";
        int exitCode = 0;
        if (!ConsentTo(c,
                       std::string("Switch ") + DeviceListText(c.Devices) + " to " +
                           (accessPoint ? "access-point" : "station") +
                           " mode? Each device restarts at once.",
                       exitCode))
            return exitCode;
        ForEachCommand(
            c, [&](TDeviceSession& s) { return SetWifiMode(s, accessPoint); },
            {{"wifi_mode", accessPoint ? "ap" : "station"}, {"restarting", true}},
            std::string("Wi-Fi mode ") + (accessPoint ? "access point" : "station") +
                " written; the device restarts now",
            true);
        return c.Report.ExitCode();
    }

  private:
    std::string mode_;
};

}  // namespace

std::unique_ptr<TVerb> MakeWifiModeVerb() {
    return std::make_unique<TWifiMode>();
}

}  // namespace kstbell::cli
