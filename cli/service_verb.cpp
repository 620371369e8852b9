#include "cli/service_verb.h"

#include "cli/exit_codes.h"
#include "cli/json_text.h"
#include "cli/text_safety.h"

namespace kstbell::cli {

int TServiceVerb::Run(TVerbContext& c) {
    c.Report.SetSubjectKey("service");
    return Ask(c, *c.Service);
}

TServiceAnswer Unexpected(const std::string& what) {
    TServiceAnswer answer;
    answer.Error = {{"kind", "internal"},
                    {"message", "the service's answer is not " + what +
                                    ": is --service the address of kstbelld's HTTP front?"}};
    return answer;
}

int ReportFailure(TVerbContext& c, const TServiceAnswer& answer) {
    const std::string kind = answer.Error.value("kind", "");
    // The service refused a value of the command line before any horn was asked.
    if (kind == "invalid_input" || kind == "not_found") c.Report.MarkRefusedInput();
    c.Report.Failure(c.Service->Name(), answer.Error);
    return c.Report.ExitCode();
}

int ReportSuccess(TVerbContext& c, const nlohmann::ordered_json& result, const std::string& human) {
    c.Report.Success(c.Service->Name(), result, human);
    return c.Report.ExitCode();
}

void ReportItem(TVerbContext& c, const nlohmann::ordered_json& item, const std::string& human) {
    c.Report.Out() << (c.Report.Json() ? JsonLine(item) : human) << '\n';
}

std::string Text(const nlohmann::ordered_json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return {};
    return EscapeForTerminal(it->get<std::string>());
}

std::string Number(const nlohmann::ordered_json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return {};
    return it->dump();
}

std::string ListText(const nlohmann::ordered_json& list) {
    std::string out;
    if (!list.is_array()) return out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0) out += i + 1 == list.size() ? " and " : ", ";
        out += list[i].is_string() ? EscapeForTerminal(list[i].get<std::string>()) : list[i].dump();
    }
    return out;
}

}  // namespace kstbell::cli
