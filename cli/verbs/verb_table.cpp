#include "cli/verbs/verb_table.h"

#include <utility>

namespace kstbell::cli {

#define KSTBELL_VERB(name) std::unique_ptr<TVerb> Make##name##Verb();
#include "cli/verbs/verb_list.h"
#undef KSTBELL_VERB

std::vector<std::unique_ptr<TVerb>> MakeVerbs() {
    std::vector<std::unique_ptr<TVerb>> verbs;
#define KSTBELL_VERB(name) verbs.push_back(Make##name##Verb());
#include "cli/verbs/verb_list.h"
#undef KSTBELL_VERB
    return verbs;
}

std::string_view GroupHelp(std::string_view group) {
    static constexpr std::pair<std::string_view, std::string_view> kGroups[] = {
        {"config", "show, save, compare or apply a device's settings"},
        {"set", "change one setting; it takes effect at the next restart"},
        {"site", "what the site service (kstbelld) has recorded"},
        {"alarm", "the site's alarms, through the site service (--service)"},
    };
    for (const auto& [name, help] : kGroups)
        if (name == group) return help;
    return {};
}

}  // namespace kstbell::cli
