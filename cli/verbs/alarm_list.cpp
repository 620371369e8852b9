// alarm list: the site's alarms and whether they sound, from the site service.

#include "cli/alarm_text.h"
#include "cli/service_verb.h"

namespace kstbell::cli {

namespace {

class TAlarmList final : public TServiceVerb {
  public:
    TAlarmList()
        : TServiceVerb({"alarm list", "the site's alarms and whether they sound",
                        "one object per alarm, not per device: name, label, priority, sounding, "
                        "ring (id, end, while it sounds)"}) {}

  protected:
    int Ask(TVerbContext& c, TServiceClient& service) override {
        const TServiceAnswer answer = service.Get("/alarms", {}, "see the alarms");
        if (!answer.Ok) return ReportFailure(c, answer);
        if (!answer.Body.is_array()) return ReportFailure(c, NotAList());
        for (const auto& alarm : answer.Body)
            ReportItem(c, alarm, AlarmLine(alarm));
        return c.Report.ExitCode();
    }
};

}  // namespace

std::unique_ptr<TVerb> MakeAlarmListVerb() {
    return std::make_unique<TAlarmList>();
}

}  // namespace kstbell::cli
