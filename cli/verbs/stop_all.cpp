// stop-all: ends every ring and alarm of the site at once, through the site service.

#include "cli/service_verb.h"

namespace kstbell::cli {

namespace {

class TStopAll final : public TServiceVerb {
  public:
    TStopAll()
        : TServiceVerb({"stop-all",
                        "end every ring and alarm of the site, through the site service",
                        "{} (the service never refuses a stop)"}) {}

  protected:
    int Ask(TVerbContext& c, TServiceClient& service) override {
        const TServiceAnswer answer =
            service.Post("/stop-all", nlohmann::json::object(), "stop everything");
        if (!answer.Ok) return ReportFailure(c, answer);
        return ReportSuccess(c, nlohmann::ordered_json::object(), "every ring and alarm stopped");
    }
};

}  // namespace

std::unique_ptr<TVerb> MakeStopAllVerb() {
    return std::make_unique<TStopAll>();
}

}  // namespace kstbell::cli
