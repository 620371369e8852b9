#include "cli/confirm.h"

#include <algorithm>
#include <cctype>
#include <istream>

#include "cli/exit_codes.h"
#include "cli/verb_context.h"

namespace kstbell::cli {

TConsent AskConsent(const TRunEnv& env, std::ostream& err, bool yes, const std::string& question) {
    if (yes) return TConsent::Given;
    if (!env.InputIsTerminal || !env.In) return TConsent::NoTerminal;
    err << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(*env.In, answer)) {
        err << '\n';
        return TConsent::Declined;
    }
    std::transform(answer.begin(), answer.end(), answer.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto first = answer.find_first_not_of(" \t\r");
    const auto last = answer.find_last_not_of(" \t\r");
    answer = first == std::string::npos ? "" : answer.substr(first, last - first + 1);
    return answer == "y" || answer == "yes" ? TConsent::Given : TConsent::Declined;
}

bool ConsentTo(TVerbContext& c, const std::string& question, int& exitCode) {
    switch (AskConsent(c.Env, c.Err, c.Global.Yes, question)) {
        case TConsent::Given:
            return true;
        case TConsent::Declined:
            c.Report.Error("nothing was changed");
            exitCode = kExitFailed;
            return false;
        case TConsent::NoTerminal:
            c.Report.Error(std::string(c.VerbName) +
                           " changes the devices and there is no terminal to ask on: give --yes "
                           "to go ahead");
            exitCode = kExitUsage;
            return false;
    }
    return false;
}

}  // namespace kstbell::cli
