// find-me: makes the device signal where it is.

#include "cli/each_command.h"
#include "device/device_actions.h"

namespace kstbell::cli {

namespace {

class TFindMe final : public TVerb {
  public:
    TFindMe() : TVerb({"find-me", "make the device signal where it is", "{}"}) {}

    int Run(TVerbContext& c) override {
        ForEachCommand(c, FindMe, nlohmann::ordered_json::object(), "signals where it is");
        return c.Report.ExitCode();
    }
};

}  // namespace

std::unique_ptr<TVerb> MakeFindMeVerb() {
    return std::make_unique<TFindMe>();
}

}  // namespace kstbell::cli
