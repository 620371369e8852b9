#pragma once

// The texts of --help: what the program is, and after the options its JSON output, each verb's
// result (from the table of verbs) and the exit codes.

#include <memory>
#include <string>
#include <vector>

#include "cli/verbs/verb.h"

namespace kstbell::cli {

extern const char* const kHelpDescription;

std::string HelpFooter(const std::vector<std::unique_ptr<TVerb>>& verbs);

}  // namespace kstbell::cli
