// The route table against its OpenAPI document and against the front: every route has its
// permission and description, answers in the shape the document gives, refuses a request
// without credentials (401), a role below its permission (403) and a session's change without
// its CSRF token (403). Every route of the table is tried, none from a hand-made list.

#include <gtest/gtest.h>

#include <map>

#include "tests/web/web_fixture.h"
#include "web/api_routes.h"
#include "web/json_views.h"
#include "web/openapi.h"
#include "web/router.h"

namespace kstbell::web::test {
namespace {

using nlohmann::json;

std::string Lower(std::string s) {
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// What is wrong with the table or its document, one line per problem.
std::vector<std::string> RouteProblems(const std::vector<TRoute>& routes, const json& doc) {
    std::vector<std::string> problems;
    std::size_t operations = 0;
    for (const auto& [path, methods] : doc["paths"].items())
        operations += methods.size();
    if (operations != routes.size())
        problems.push_back("the document and the table differ in size");
    for (const auto& route : routes) {
        const auto name = route.Method + " " + route.Path;
        if (!route.Access) problems.push_back(name + ": no permission");
        if (route.Doc.Summary.empty()) problems.push_back(name + ": no summary");
        if (!route.Handler) problems.push_back(name + ": no handler");
        const auto names = SplitPattern(route.Path).second;
        std::vector<std::string> documented;
        for (const auto& field : route.Doc.PathParams)
            documented.push_back(field.Name);
        if (names != documented) problems.push_back(name + ": path parameters undocumented");
        const auto op =
            doc["paths"].value(route.Path, json::object()).value(Lower(route.Method), json());
        if (!op.is_object()) {
            problems.push_back(name + ": not in the document");
            continue;
        }
        if (!route.Access || op.value("x-permission", "") != AccessName(*route.Access)) {
            problems.push_back(name + ": the document's permission differs");
        }
        if (op.contains("requestBody") != route.Doc.Body.has_value()) {
            problems.push_back(name + ": the document's body differs");
        }
        if (!op["responses"].contains(std::to_string(route.Doc.Status))) {
            problems.push_back(name + ": the success is undocumented");
        }
        for (const auto kind : RouteErrors(route)) {
            if (!op["responses"].contains(std::to_string(ErrorStatus(kind)))) {
                problems.push_back(name + ": " + std::string(ErrorKindName(kind)) +
                                   " undocumented");
            }
        }
    }
    return problems;
}

// Checks a value against an OpenAPI 3.0 schema (the parts the document uses); "" when it fits.
std::string Mismatch(const json& value, const json& schema, const json& doc,
                     const std::string& at) {
    if (value.is_null()) return schema.value("nullable", false) ? "" : at + ": null";
    if (schema.contains("allOf")) {
        for (const auto& part : schema["allOf"]) {
            if (auto m = Mismatch(value, part, doc, at); !m.empty()) return m;
        }
        return "";
    }
    if (schema.contains("$ref")) {
        const auto name =
            schema["$ref"].get<std::string>().substr(std::string("#/components/schemas/").size());
        return Mismatch(value, doc["components"]["schemas"].at(name), doc, at);
    }
    const auto type = schema.value("type", "");
    const bool fits =
        type.empty() || (type == "object" && value.is_object()) ||
        (type == "array" && value.is_array()) || (type == "string" && value.is_string()) ||
        (type == "integer" && value.is_number_integer()) ||
        (type == "number" && value.is_number()) || (type == "boolean" && value.is_boolean());
    if (!fits) return at + ": not " + type;
    if (schema.contains("enum") &&
        std::find(schema["enum"].begin(), schema["enum"].end(), value) == schema["enum"].end()) {
        return at + ": not one of the enum";
    }
    if (value.is_array() && schema.contains("items")) {
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (auto m =
                    Mismatch(value[i], schema["items"], doc, at + "[" + std::to_string(i) + "]");
                !m.empty()) {
                return m;
            }
        }
    }
    if (value.is_object() && schema.contains("properties")) {
        for (const auto& key : schema.value("required", json::array())) {
            if (!value.contains(key.get<std::string>()))
                return at + "." + key.get<std::string>() + ": missing";
        }
        for (const auto& [key, item] : value.items()) {
            if (!schema["properties"].contains(key)) return at + "." + key + ": not described";
            if (auto m = Mismatch(item, schema["properties"][key], doc, at + "." + key);
                !m.empty()) {
                return m;
            }
        }
    }
    return "";
}

// A target for a route, its parameters filled with values the fake knows.
std::string Target(const TRoute& route) {
    static const std::map<std::string, std::string> values = {
        {"address", "127.0.78.1"}, {"name", "evacuation"}, {"id", "999"}, {"rev", "1"}};
    std::string out = route.Path;
    for (const auto& [name, value] : values) {
        const auto at = out.find("{" + name + "}");
        if (at != std::string::npos) out.replace(at, name.size() + 2, value);
    }
    if (out == "/api/v1/days") out += "?from=2027-01-07&to=2027-01-08";
    return out;
}

// A body each change accepts.
std::string SampleBody(const TRoute& route) {
    static const std::map<std::string, json> bodies = {
        {"POST /api/v1/session", {{"user", "vic"}, {"password", kViewerPassword}}},
        {"POST /api/v1/session/password",
         {{"current", kAdminPassword}, {"password", kAdminPassword}}},
        {"POST /api/v1/ring", {{"group", "ground"}, {"tone", 1}, {"duration_s", 3}}},
        {"POST /api/v1/schedule/exceptions", {{"date", "2027-01-08"}, {"no_bells", true}}},
        {"POST /api/v1/users", {{"name", "newbie"}, {"role", "viewer"}, {"password", "pw-1234"}}},
        {"PATCH /api/v1/users/{name}", {{"role", "operator"}}},
        {"PUT /api/v1/timetable",
         {{"plans", json::object()}, {"week", json::object()}, {"holidays", json::array()}}},
        {"POST /api/v1/tokens", {{"name", "ci"}, {"role", "viewer"}}},
        {"PUT /api/v1/horns/{address}/name", {{"name", "Front door"}}},
        {"PUT /api/v1/groups/{name}", {{"horns", {"127.0.78.1"}}}},
    };
    const auto it = bodies.find(route.Method + " " + route.Path);
    return it == bodies.end() ? std::string() : it->second.dump();
}

TEST(WebRoutes, EveryRouteHasItsPermissionDescriptionAndDocument) {
    TWebFixture web;
    const auto& routes = web.Front().Router().Routes();
    EXPECT_GE(routes.size(), 30u);
    EXPECT_EQ(RouteProblems(routes, web.Front().OpenApi()), std::vector<std::string>());
    // The document served is the one written from the table.
    EXPECT_EQ(web.Call("GET", "/api/v1/openapi.json").Json(), web.Front().OpenApi());

    // A route added without permission or description, or left out of the document, is found.
    auto broken = routes;
    broken.push_back({.Method = "POST", .Path = "/api/v1/horns/{address}/find", .Handler = {}});
    const auto problems = RouteProblems(broken, OpenApiDocument(broken, "x"));
    for (const auto* wanted :
         {"no permission", "no summary", "no handler", "path parameters undocumented",
          "the document's permission differs"}) {
        EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
            return p.find(wanted) != std::string::npos;
        })) << wanted;
    }
    EXPECT_FALSE(RouteProblems(broken, web.Front().OpenApi()).empty());
}

TEST(WebRoutes, EveryAnswerHasTheShapeItsRouteDescribes) {
    TWebFixture web;
    const auto& doc = web.Front().OpenApi();
    const auto routes = web.Front().Router().Routes();
    // Changes that undo something run last; the user they change is made first.
    std::vector<const TRoute*> order;
    for (const auto& route : routes) {
        if (route.Method == "GET") order.insert(order.begin(), &route);
    }
    for (const auto& route : routes) {
        if (route.Method != "GET" && route.Method != "DELETE") order.push_back(&route);
    }
    for (const auto& route : routes) {
        if (route.Method == "DELETE") order.push_back(&route);
    }
    web.WithToken(TRole::Admin, "POST", "/api/v1/users",
                  R"({"name":"evacuation","role":"viewer","password":"x-1"})");
    // What a removal removes: the last exception and token the changes before it added.
    const auto lastId = [&web](const std::string& list) {
        return std::to_string(
            web.WithToken(TRole::Admin, "GET", list).Json().back()["id"].get<int>());
    };
    for (const auto* route : order) {
        const auto name = route->Method + " " + route->Path;
        if (route->Doc.ResponseType != "application/json" ||
            route->Path.ends_with("openapi.json")) {
            continue;  // the event stream and the metrics have tests of their own
        }
        auto target = Target(*route);
        if (route->Path.ends_with("/exceptions/{id}")) {
            target = "/api/v1/schedule/exceptions/" + lastId("/api/v1/schedule/exceptions");
        } else if (route->Path.ends_with("/tokens/{id}")) {
            target = "/api/v1/tokens/" + lastId("/api/v1/tokens");
        }
        // A logout ends a browser session; one asked with a token is refused (tested apart).
        const bool logout = route->Method == "DELETE" && route->Path.ends_with("/session");
        const auto session = logout ? web.Login("admin", kAdminPassword) : TLoggedIn{};
        const auto answer =
            logout ? web.Call(route->Method, target,
                              {{"Cookie", session.Cookie}, {"X-CSRF-Token", session.Csrf}})
                   : web.Call(route->Method, target,
                              {{"Authorization", "Bearer " + web.Service.TokenOf(TRole::Admin)},
                               // A change of the timetable names the revision it was made from.
                               {"If-Match",
                                "\"" + std::to_string(web.Service.Timetable().Revision) + "\""}},
                              SampleBody(*route));
        EXPECT_EQ(answer.Status, route->Doc.Status) << name << ": " << answer.Body;
        if (route->Doc.Response.is_null()) {
            EXPECT_EQ(answer.Body, "") << name;
            continue;
        }
        EXPECT_EQ(Mismatch(answer.Json(), route->Doc.Response, doc, name), "") << answer.Body;
    }
    // Errors have the one error shape.
    const auto missing = web.WithToken(TRole::Admin, "GET", "/api/v1/horns/10.9.9.9");
    EXPECT_EQ(missing.Status, 404);
    EXPECT_EQ(Mismatch(missing.Json(), json{{"$ref", "#/components/schemas/Error"}}, doc, "error"),
              "");
}

TEST(WebRoutes, ARingSaysWhichHornsSwitchedOnAndOneWithNoneOnIsAFailure) {
    struct Case {
        const char* name;
        const char* body;
        std::map<std::string, std::string> notOn;
        std::vector<std::string> pending;
        int status;
        const char* kind;  // the error's, or ""
        const char* message;
        std::vector<std::string> switchedOn;
    } cases[] = {
        {"every horn switched on",
         R"({"group":"all"})",
         {},
         {},
         202,
         "",
         "",
         {"127.0.78.1", "127.0.78.2", "127.0.78.3"}},
        {"one offline: the ring stands and says which",
         R"({"group":"all"})",
         {{"127.0.78.2", "offline"}},
         {},
         202,
         "",
         "",
         {"127.0.78.1", "127.0.78.3"}},
        {"no answer yet is no failure",
         R"({"horns":["127.0.78.1"]})",
         {},
         {"127.0.78.1"},
         202,
         "",
         "",
         {}},
        {"every horn offline",
         R"({"group":"all"})",
         {{"127.0.78.1", "offline"}, {"127.0.78.2", "offline"}, {"127.0.78.3", "offline"}},
         {},
         502,
         "unreachable",
         "none of the 3 horns was switched on (3 offline); the ring was ended",
         {}},
        {"horns that failed in different ways",
         R"({"group":"all"})",
         {{"127.0.78.1", "offline"}, {"127.0.78.2", "no_reply"}, {"127.0.78.3", "no_reply"}},
         {},
         502,
         "unreachable",
         "none of the 3 horns was switched on (1 offline, 2 no reply); the ring was ended",
         {}},
        {"the one horn did not answer",
         R"({"group":"ground"})",
         {{"127.0.78.1", "no_reply"}},
         {},
         504,
         "no_reply",
         "the horn was not switched on (1 no reply); the ring was ended",
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWebFixture web;
        web.Service.SetSwitches(c.notOn, c.pending);
        const auto answer = web.WithToken(TRole::Operator, "POST", "/api/v1/ring", c.body);
        EXPECT_EQ(answer.Status, c.status) << answer.Body;
        EXPECT_EQ(answer.Kind(), c.kind);
        const json body = answer.Json();
        if (*c.kind) {
            EXPECT_EQ(body.value("error", json::object()).value("message", ""), c.message);
        }
        ASSERT_TRUE(body.contains("ring")) << answer.Body;
        const json ring = body["ring"];
        EXPECT_EQ(ring["switched_on"], json(c.switchedOn));
        EXPECT_EQ(ring["pending"], json(c.pending));
        std::map<std::string, std::string> notOn;
        for (const auto& h : ring["not_switched_on"])
            notOn[h["horn"].get<std::string>()] = h["reason"].get<std::string>();
        EXPECT_EQ(notOn, c.notOn);
    }
}

TEST(WebRoutes, EveryRouteButThePublicOnesNeedsCredentials) {
    TWebFixture web;
    const std::vector<std::pair<std::string, httplib::Headers>> strangers = {
        {"nothing", {}},
        {"a token nobody has", {{"Authorization", "Bearer tok-unknown-42"}}},
        {"a cookie of no session", {{"Cookie", "kstbell_session=cookie-99-for-admin"}}},
        {"basic credentials", {{"Authorization", "Basic YWRtaW46YWRtaW4="}}},
        {"a token with a line break", {{"Authorization", "Bearer a\tb"}}},
    };
    int public_routes = 0;
    for (const auto& route : web.Front().Router().Routes()) {
        if (route.Access == TAccess::Public) {
            ++public_routes;
            continue;
        }
        for (const auto& [who, headers] : strangers) {
            const auto answer = web.Call(route.Method, Target(route), headers, SampleBody(route));
            EXPECT_EQ(answer.Status, 401) << route.Method << " " << route.Path << " with " << who;
            EXPECT_EQ(answer.Kind(), "unauthenticated");
        }
    }
    EXPECT_EQ(public_routes, 2);  // the login and the OpenAPI document
    EXPECT_TRUE(web.Service.Changes().empty());
}

TEST(WebRoutes, EachRoleReachesWhatItsPermissionGrantsAndNothingMore) {
    TWebFixture web;
    for (const auto& route : web.Front().Router().Routes()) {
        if (route.Access == TAccess::Public) continue;
        for (const auto role : {TRole::Viewer, TRole::Operator, TRole::Admin}) {
            const auto rings = web.Service.RingCalls.load();
            TAnswer answer;
            if (route.Doc.ResponseType == "text/event-stream") {
                // A stream stays open: its first line is enough.
                answer.Status = RawStatus(
                    web.Raw("GET " + route.Path + " HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " +
                                web.Service.TokenOf(role) + "\r\n\r\n",
                            std::chrono::milliseconds(300)));
            } else {
                answer = web.WithToken(role, route.Method, Target(route), SampleBody(route));
            }
            const auto name =
                route.Method + " " + route.Path + " as " + std::string(RoleName(role));
            if (Grants(role, *route.Access)) {
                EXPECT_NE(answer.Status, 401) << name;
                EXPECT_NE(answer.Status, 403) << name;
            } else {
                EXPECT_EQ(answer.Status, 403) << name;
                EXPECT_EQ(answer.Kind(), "forbidden") << name;
                EXPECT_EQ(web.Service.RingCalls.load(), rings) << name << " reached the service";
            }
        }
    }
    // In particular: a viewer's token cannot ring, an operator's can.
    EXPECT_EQ(web.WithToken(TRole::Viewer, "POST", "/api/v1/ring", R"({"group":"all"})").Status,
              403);
    EXPECT_EQ(web.WithToken(TRole::Operator, "POST", "/api/v1/ring", R"({"group":"all"})").Status,
              202);
}

TEST(WebRoutes, EveryChangeMadeWithASessionNeedsItsCsrfToken) {
    TWebFixture web;
    for (const auto& route : web.Front().Router().Routes()) {
        if (route.Access == TAccess::Public || route.Method == "GET") continue;
        const auto name = route.Method + " " + route.Path;
        const auto session = web.Login("admin", kAdminPassword);
        const auto changes = web.Service.Changes().size();
        for (const auto& csrf : {std::string(), std::string("csrf-wrong"), session.Csrf + "x"}) {
            httplib::Headers headers = {{"Cookie", session.Cookie}};
            if (!csrf.empty()) headers.emplace("X-CSRF-Token", csrf);
            const auto answer = web.Call(route.Method, Target(route), headers, SampleBody(route));
            EXPECT_EQ(answer.Status, 403) << name << " with '" << csrf << "'";
            EXPECT_NE(answer.Json()["error"].value("message", "").find("CSRF"), std::string::npos);
        }
        EXPECT_EQ(web.Service.Changes().size(), changes) << name;
        const auto right = web.Call(route.Method, Target(route),
                                    {{"Cookie", session.Cookie}, {"X-CSRF-Token", session.Csrf}},
                                    SampleBody(route));
        EXPECT_NE(right.Status, 403) << name << ": " << right.Body;
        EXPECT_NE(right.Status, 401) << name << ": " << right.Body;
    }
    // Reading needs no CSRF token; a token needs none at all.
    const auto session = web.Login("vic", kViewerPassword);
    EXPECT_EQ(web.Call("GET", "/api/v1/horns", {{"Cookie", session.Cookie}}).Status, 200);
    EXPECT_EQ(web.WithToken(TRole::Operator, "POST", "/api/v1/stop-all").Status, 202);
}

}  // namespace
}  // namespace kstbell::web::test
