#pragma once

// The verbs that ask the site service through its API (--service): what they share. Each
// reports its result on one JSON line {"service":URL,"ok":true,"result":{...}} (lists: one
// object per line), a failure as {"service":URL,"ok":false,"error":{"kind","message"}}, and
// exits as the other verbs do: 3 no connection, 4 the service refused the token or its role,
// 2 a value the service refused (invalid_input, not_found), 1 anything else.

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/service_client.h"
#include "cli/verb_context.h"
#include "cli/verbs/verb.h"

namespace kstbell::cli {

class TServiceVerb : public TVerb {
  public:
    explicit TServiceVerb(TVerbInfo info) : TVerb(Targeted(info)) {}

    int Run(TVerbContext& c) final;

  protected:
    // Asks the service and reports; returns the exit code.
    virtual int Ask(TVerbContext& c, TServiceClient& service) = 0;

  private:
    static TVerbInfo Targeted(TVerbInfo info) {
        info.Target = TVerbTarget::Service;
        return info;
    }
};

// An answer of the service that is not of the shape asked for, as a failure ("internal").
TServiceAnswer Unexpected(const std::string& what);
inline TServiceAnswer NotAList() {
    return Unexpected("a list");
}

// Reports the failure of an answer and returns the exit code.
int ReportFailure(TVerbContext& c, const TServiceAnswer& answer);
// Reports a result for the service: the JSON result, or the human text.
int ReportSuccess(TVerbContext& c, const nlohmann::ordered_json& result, const std::string& human);
// A list's items, one JSON object per line (or the human lines).
void ReportItem(TVerbContext& c, const nlohmann::ordered_json& item, const std::string& human);

// A text of the service's answer, safe for a terminal ("" when missing or not a string).
std::string Text(const nlohmann::ordered_json& object, const char* key);
// A number of the service's answer as text ("" when missing or not a number).
std::string Number(const nlohmann::ordered_json& object, const char* key);
// "a, b and c" of a list of strings, safe for a terminal.
std::string ListText(const nlohmann::ordered_json& list);

}  // namespace kstbell::cli
