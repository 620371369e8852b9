// alarm start: starts one of the site's alarms by name, through the site service.

#include <CLI/CLI.hpp>

#include "cli/alarm_text.h"
#include "cli/service_verb.h"

namespace kstbell::cli {

namespace {

class TAlarmStart final : public TServiceVerb {
  public:
    TAlarmStart()
        : TServiceVerb({"alarm start", "start one of the site's alarms, through the site service",
                        "the alarm: name, label, priority, sounding, ring (id, end)"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("NAME", name_, "the alarm's name in the site file")
            ->type_name("NAME")
            ->required();
    }

  protected:
    int Ask(TVerbContext& c, TServiceClient& service) override {
        const TServiceAnswer answer = service.Post("/alarms/" + PercentEncode(name_) + "/start",
                                                   nlohmann::json::object(), "start alarms");
        if (!answer.Ok) return ReportFailure(c, answer);
        const auto& alarm = answer.Body.contains("alarm") ? answer.Body["alarm"] : answer.Body;
        return ReportSuccess(c, alarm, "alarm " + AlarmLine(alarm));
    }

  private:
    std::string name_;
};

}  // namespace

std::unique_ptr<TVerb> MakeAlarmStartVerb() {
    return std::make_unique<TAlarmStart>();
}

}  // namespace kstbell::cli
