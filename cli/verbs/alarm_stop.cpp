// alarm stop: stops one of the site's alarms by name, through the site service.

#include <CLI/CLI.hpp>

#include "cli/service_verb.h"
#include "cli/text_safety.h"

namespace kstbell::cli {

namespace {

class TAlarmStop final : public TServiceVerb {
  public:
    TAlarmStop()
        : TServiceVerb({"alarm stop", "stop a sounding alarm, through the site service",
                        "alarm (its name); an alarm that is not sounding fails as conflict"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("NAME", name_, "the alarm's name in the site file")
            ->type_name("NAME")
            ->required();
    }

  protected:
    int Ask(TVerbContext& c, TServiceClient& service) override {
        const TServiceAnswer answer = service.Post("/alarms/" + PercentEncode(name_) + "/stop",
                                                   nlohmann::json::object(), "stop alarms");
        if (!answer.Ok) return ReportFailure(c, answer);
        return ReportSuccess(c, {{"alarm", name_}},
                             "alarm " + EscapeForTerminal(name_) + " stopped");
    }

  private:
    std::string name_;
};

}  // namespace

std::unique_ptr<TVerb> MakeAlarmStopVerb() {
    return std::make_unique<TAlarmStop>();
}

}  // namespace kstbell::cli
