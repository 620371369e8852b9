#include "cli/each_command.h"

namespace kstbell::cli {

void ForEachCommand(TVerbContext& c, const std::function<TOutcome(TDeviceSession&)>& operation,
                    const nlohmann::ordered_json& result, const std::string& human, bool restarts) {
    c.ForEach([&](const std::string& address, TDeviceSession& s) {
        const TOutcome o = operation(s);
        if (o.Ok() && restarts) c.Pending.Restarted(address);
        if (o.Ok())
            c.Report.Success(address, result, address + "  " + human);
        else
            c.Report.Failure(address, o);
    });
}

}  // namespace kstbell::cli
