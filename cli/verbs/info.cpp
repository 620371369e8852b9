// info: every field the device reports.

#include "cli/device_fields.h"
#include "cli/verb_context.h"

namespace kstbell::cli {

namespace {

class TInfo final : public TVerb {
  public:
    TInfo() : TVerb({"info", "every field the device reports", kInfoFieldsHelp}) {}

    int Run(TVerbContext& c) override {
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            const TOutcome o = RequestDeviceInfo(s);
            if (o.Ok())
                c.Report.Success(address, InfoJson(s.LastReport), InfoBlock(address, s.LastReport));
            else
                c.Report.Failure(address, o);
        });
        return c.Report.ExitCode();
    }
};

}  // namespace

std::unique_ptr<TVerb> MakeInfoVerb() {
    return std::make_unique<TInfo>();
}

}  // namespace kstbell::cli
