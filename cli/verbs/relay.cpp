// relay: switches the relay output on or off with a tone.

#include <CLI/CLI.hpp>

#include "cli/verb_context.h"
#include "device/readings.h"

namespace kstbell::cli {

namespace {

class TRelay final : public TVerb {
  public:
    TRelay()
        : TVerb({"relay", "switch the relay output on or off with a tone",
                 "output, input (as the device answered), tone"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("STATE", state_, "on or off")
            ->type_name("STATE")
            ->required()
            ->check(CLI::IsMember({"on", "off"}));
        verb.add_option("--tone", tone_, "the tone, 0 to 3 (default 0)")
            ->type_name("N")
            ->check(CLI::Range(0, 3));
    }

    int Run(TVerbContext& c) override {
        const bool on = state_ == "on";
        const auto tone = static_cast<std::uint8_t>(tone_);
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            const TRelayReading r = SwitchRelay(s, on ? 1 : 0, tone);
            if (!r.Outcome.Ok()) {
                c.Report.Failure(address, r.Outcome);
                return;
            }
            // The device answers with the output and input as they are now.
            const nlohmann::ordered_json result{
                {"output", r.Output}, {"input", r.Input}, {"tone", tone}};
            c.Report.Success(address, result,
                             address + "  relay " + (r.Output ? "on" : "off") + ", tone " +
                                 std::to_string(tone) + ", input " + std::to_string(r.Input));
        });
        return c.Report.ExitCode();
    }

  private:
    std::string state_;
    int tone_ = 0;
};

}  // namespace

std::unique_ptr<TVerb> MakeRelayVerb() {
    return std::make_unique<TRelay>();
}

}  // namespace kstbell::cli
