// People: users and their API tokens (a token's secret only in the answer that makes it).

#include "web/api_inputs.h"
#include "web/api_routes.h"
#include "web/api_schemas.h"
#include "web/json_views.h"

namespace kstbell::web {

namespace {

TApiResponse Users(const TApiRequest& r) {
    return JsonAnswer(ToJsonList(r.Service.Users()));
}

TApiResponse AddUser(const TApiRequest& r) {
    std::string error;
    const auto ask = UserAskFrom(r.Body, error);
    if (!ask) return ErrorAnswer(TErrorKind::InvalidInput, error);
    const auto user = r.Service.AddUser(*ask, *r.Caller);
    if (!user.Ok()) return ErrorAnswer(user.Failure());
    return JsonAnswer(ToJson(user.Value()), 201);
}

TApiResponse ChangeUser(const TApiRequest& r) {
    std::string error;
    const auto change = UserChangeFrom(r.Body, error);
    if (!change) return ErrorAnswer(TErrorKind::InvalidInput, error);
    const auto user =
        r.Service.ChangeUser(r.Path.at("name").get<std::string>(), *change, *r.Caller);
    if (!user.Ok()) return ErrorAnswer(user.Failure());
    return JsonAnswer(ToJson(user.Value()));
}

TApiResponse RemoveUser(const TApiRequest& r) {
    if (auto failure = r.Service.RemoveUser(r.Path.at("name").get<std::string>(), *r.Caller)) {
        return ErrorAnswer(*failure);
    }
    return NoContent();
}

TApiResponse Tokens(const TApiRequest& r) {
    return JsonAnswer(ToJsonList(r.Service.Tokens()));
}

TApiResponse CreateToken(const TApiRequest& r) {
    std::string error;
    auto ask = TokenAskFrom(r.Body, error);
    if (!ask) return ErrorAnswer(TErrorKind::InvalidInput, error);
    if (ask->User.empty()) ask->User = r.Caller->User;
    const auto made = r.Service.CreateToken(*ask, *r.Caller);
    if (!made.Ok()) return ErrorAnswer(made.Failure());
    auto body = ToJson(made.Value().Token);
    body["secret"] = made.Value().Secret;
    return JsonAnswer(std::move(body), 201);
}

TApiResponse RevokeToken(const TApiRequest& r) {
    if (auto failure = r.Service.RevokeToken(r.Path.at("id").get<std::int64_t>(), *r.Caller)) {
        return ErrorAnswer(*failure);
    }
    return NoContent();
}

const TFields kUserName = {{.Name = "name",
                            .Type = TFieldType::String,
                            .Description = "the user's name",
                            .Required = true,
                            .Min = 1,
                            .Max = 200}};

}  // namespace

void AddPeopleRoutes(std::vector<TRoute>& routes) {
    const std::string users = std::string(kApiPrefix) + "/users";
    const std::string tokens = std::string(kApiPrefix) + "/tokens";
    routes.push_back(
        {.Method = "GET",
         .Path = users,
         .Access = TAccess::Administer,
         .Handler = Users,
         .Doc = {.Tag = "people", .Summary = "The users", .Response = ListOf("User")}});
    routes.push_back({.Method = "POST",
                      .Path = users,
                      .Access = TAccess::Administer,
                      .Handler = AddUser,
                      .Doc = {.Tag = "people",
                              .Summary = "Add a user",
                              .Body = UserAddFields(),
                              .Status = 201,
                              .Response = Ref("User"),
                              .Errors = {TErrorKind::Conflict}}});
    routes.push_back({.Method = "PATCH",
                      .Path = users + "/{name}",
                      .Access = TAccess::Administer,
                      .Handler = ChangeUser,
                      .Doc = {.Tag = "people",
                              .Summary = "Change a user's role, password or whether it is "
                                         "disabled",
                              .Description = "A new password, or disabling, ends the user's "
                                             "sessions. The only enabled admin cannot be given "
                                             "another role or disabled (409).",
                              .PathParams = kUserName,
                              .Body = UserChangeFields(),
                              .Response = Ref("User"),
                              .Errors = {TErrorKind::NotFound, TErrorKind::Conflict}}});
    routes.push_back({.Method = "DELETE",
                      .Path = users + "/{name}",
                      .Access = TAccess::Administer,
                      .Handler = RemoveUser,
                      .Doc = {.Tag = "people",
                              .Summary = "Remove a user (its sessions and tokens end)",
                              .Description = "The only enabled admin cannot be removed (409).",
                              .PathParams = kUserName,
                              .Status = 204,
                              .Errors = {TErrorKind::NotFound, TErrorKind::Conflict}}});
    routes.push_back({.Method = "GET",
                      .Path = tokens,
                      .Access = TAccess::Administer,
                      .Handler = Tokens,
                      .Doc = {.Tag = "people",
                              .Summary = "The API tokens (never their secrets)",
                              .Response = ListOf("Token")}});
    routes.push_back({.Method = "POST",
                      .Path = tokens,
                      .Access = TAccess::Administer,
                      .Handler = CreateToken,
                      .Doc = {.Tag = "people",
                              .Summary = "Make an API token",
                              .Description = "The answer holds the token's secret: it is shown "
                                             "only here and kept only as a hash. Send it as "
                                             "'Authorization: Bearer SECRET'.",
                              .Body = TokenFields(),
                              .Status = 201,
                              .Response = Ref("NewToken"),
                              .Errors = {TErrorKind::NotFound, TErrorKind::Conflict}}});
    routes.push_back(
        {.Method = "DELETE",
         .Path = tokens + "/{id}",
         .Access = TAccess::Administer,
         .Handler = RevokeToken,
         .Doc = {.Tag = "people",
                 .Summary = "Revoke an API token",
                 .PathParams =
                     {{.Name = "id", .Type = TFieldType::Integer, .Required = true, .Min = 1}},
                 .Status = 204,
                 .Errors = {TErrorKind::NotFound}}});
}

}  // namespace kstbell::web
