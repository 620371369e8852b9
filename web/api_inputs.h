#pragma once

// The API's inputs, checked against their routes' fields (fields.h), turned into the port's
// values, with the rules that span keys ("horns or group, not both"). Each gives nothing, with
// the problem in error, when the input breaks a rule.

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "web/fields.h"
#include "web/port_types.h"

namespace kstbell::web {

// The fields of each input, for the route table and its document.
const TFields& LoginFields();
const TFields& RingFields();
const TFields& ExceptionFields();
const TFields& LogQueryFields();
const TFields& UserAddFields();
const TFields& UserChangeFields();
const TFields& OwnPasswordFields();
const TFields& TokenFields();

std::optional<TRingAsk> RingAskFrom(const nlohmann::json& body, std::string& error);
std::optional<TExceptionAsk> ExceptionAskFrom(const nlohmann::json& body, std::string& error);
std::optional<TLogQuery> LogQueryFrom(const nlohmann::json& query, std::string& error);
std::optional<TUserAsk> UserAskFrom(const nlohmann::json& body, std::string& error);
std::optional<TUserChange> UserChangeFrom(const nlohmann::json& body, std::string& error);
std::optional<TTokenAsk> TokenAskFrom(const nlohmann::json& body, std::string& error);

}  // namespace kstbell::web
