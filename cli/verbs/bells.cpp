// bells: the site's next bells from the site service's timetable.

#include <CLI/CLI.hpp>

#include "cli/service_verb.h"

namespace kstbell::cli {

namespace {

class TBells final : public TServiceVerb {
  public:
    TBells()
        : TServiceVerb({"bells", "the site's next bells, from the site service's timetable",
                        "one object per bell, not per device: at (UTC), local (the site's time), "
                        "date, plan, group, tone, duration_s, state, moved"}) {}

    void Declare(CLI::App& verb) override {
        verb.add_option("--next", count_, "how many bells (default 10, at most 100)")
            ->type_name("N")
            ->check(CLI::Range(1, 100));
    }

  protected:
    int Ask(TVerbContext& c, TServiceClient& service) override {
        const TServiceAnswer answer =
            service.Get("/schedule/next", {{"count", std::to_string(count_)}}, "see the timetable");
        if (!answer.Ok) return ReportFailure(c, answer);
        if (!answer.Body.is_array()) return ReportFailure(c, NotAList());
        for (const auto& bell : answer.Body) {
            std::string local = Text(bell, "local");
            if (local.size() > 10 && local[10] == 'T') local[10] = ' ';
            std::string line = local + "  group " + Text(bell, "group") + ", tone " +
                               Number(bell, "tone") + ", " + Number(bell, "duration_s") +
                               " s  (plan " + Text(bell, "plan") + ")";
            if (bell.value("moved", false)) line += ", moved by the clock change";
            ReportItem(c, bell, line);
        }
        if (answer.Body.empty()) c.Report.Remark("no bells ahead in the timetable");
        return c.Report.ExitCode();
    }

  private:
    int count_ = 10;
};

}  // namespace

std::unique_ptr<TVerb> MakeBellsVerb() {
    return std::make_unique<TBells>();
}

}  // namespace kstbell::cli
