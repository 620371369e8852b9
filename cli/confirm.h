#pragma once

// Asking before a verb changes devices.

#include <ostream>
#include <string>

#include "cli/run.h"

namespace kstbell::cli {

enum class TConsent {
    Given,       // --yes, or the person answered yes
    Declined,    // the person answered anything else
    NoTerminal,  // nobody to ask, and no --yes
};

// With yes: Given at once. On a terminal: asks question on err and reads the answer; "y" or
// "yes" (any case) agree. Without a terminal: NoTerminal.
TConsent AskConsent(const TRunEnv& env, std::ostream& err, bool yes, const std::string& question);

}  // namespace kstbell::cli
