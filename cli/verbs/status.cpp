// status: output, input, RSSI and armed, one table row per device.

#include "cli/device_fields.h"
#include "cli/verb_context.h"

namespace kstbell::cli {

namespace {

class TStatus final : public TVerb {
  public:
    TStatus()
        : TVerb({"status", "output, input, RSSI and armed", "output, input, rssi_dbm, armed"}) {}

    int Run(TVerbContext& c) override {
        c.Report.SetHeading(StatusHeading());
        c.ForEach([&](const std::string& address, TDeviceSession& s) {
            const TOutcome o = RequestStatus(s);
            if (o.Ok())
                c.Report.Success(address, StatusJson(s.LastStatus),
                                 StatusRow(address, s.LastStatus));
            else
                c.Report.Failure(address, o);
        });
        return c.Report.ExitCode();
    }
};

}  // namespace

std::unique_ptr<TVerb> MakeStatusVerb() {
    return std::make_unique<TStatus>();
}

}  // namespace kstbell::cli
