#pragma once

// The table of verbs, and the groups that verbs of two words belong to.

#include <memory>
#include <string_view>
#include <vector>

#include "cli/verbs/verb.h"

namespace kstbell::cli {

// One of each verb, in the order of verb_list.h.
std::vector<std::unique_ptr<TVerb>> MakeVerbs();

// The help of a group ("config", "set"): the first word of verbs of two words.
std::string_view GroupHelp(std::string_view group);

}  // namespace kstbell::cli
