// What the front does with requests before a handler sees them: malformed and oversized
// bodies, paths that try to leave the page folder, the service not ready yet, the login's
// cookie and rate limit, the security headers, and no secret in any log line or change record.

#include <gtest/gtest.h>

#include "tests/web/web_fixture.h"

namespace kstbell::web::test {
namespace {

std::string Token(TFakeWebService& service, TRole role) {
    return "Authorization: Bearer " + service.TokenOf(role) + "\r\n";
}

TEST(WebRequests, MalformedInputIsRefusedNamingWhatIsWrong) {
    TWebFixture web;
    struct TCase {
        std::string Method, Target, Body, Message;
        std::string ContentType = "application/json";
        int Status = 400;
    };
    const std::vector<TCase> cases = {
        {"POST", "/api/v1/ring", R"({"group":"all",)",
         "malformed JSON (byte 16): parse error at line 1, column 16"},
        {"POST", "/api/v1/ring", "{\"group\":\"a\xff\"}", "malformed JSON (byte 12)"},
        {"POST", "/api/v1/ring", R"([1,2])", "the body must be a JSON object"},
        {"POST", "/api/v1/ring", R"({"group":"all","duration_s":1e444})",
         "a number is out of range"},
        {"POST", "/api/v1/ring", R"({"horns":[[[[[[[[["x"]]]]]]]]]})",
         "nested deeper than 8 levels"},
        {"POST", "/api/v1/ring", R"({"group":"all","volume":3})", "key 'volume': not allowed"},
        {"POST", "/api/v1/ring", R"({"group":"all","tone":"3"})",
         "key 'tone': must be an integer from 0 to 3"},
        {"POST", "/api/v1/ring", R"({"group":"all","tone":9})",
         "key 'tone': must be an integer from 0 to 3"},
        {"POST", "/api/v1/ring", R"({"group":"all","duration_s":0})",
         "key 'duration_s': must be a number from 1 to 86400"},
        {"POST", "/api/v1/ring", R"({"group":"all","group":"ground"})",
         "key 'group': given more than once"},
        {"POST", "/api/v1/ring", R"({"group":"all","horns":["127.0.78.1"]})",
         "give exactly one of them"},
        {"POST", "/api/v1/ring", R"({"horns":[]})",
         "key 'horns': must be a list from 1 to 10000 items long"},
        {"POST", "/api/v1/session", "", "the body is empty"},
        {"POST", "/api/v1/ring", "", "give exactly one of them"},
        {"POST", "/api/v1/ring", R"({"group":"all"})", "the body must be JSON", "text/plain", 415},
        {"POST", "/api/v1/session", R"({"user":"vic"})", "key 'password': required"},
        {"POST", "/api/v1/schedule/exceptions", R"({"date":"2027-02-30","no_bells":true})",
         "key 'date': must be a date like 2027-01-07"},
        {"POST", "/api/v1/schedule/exceptions",
         R"({"from":"2027-01-09","to":"2027-01-08","no_bells":true})",
         "key 'to': must not be before 'from'"},
        {"POST", "/api/v1/schedule/exceptions",
         R"({"date":"2027-01-09","no_bells":true,"plan":"school"})",
         "give a plan, or no_bells: true"},
        {"PATCH", "/api/v1/users/vic", R"({})", "give at least one of"},
        {"POST", "/api/v1/users", R"({"name":"a\u0007b","role":"viewer","password":"p"})",
         "key 'name': must not hold control characters"},
        {"GET", "/api/v1/log?limit=0", "", "query 'limit': must be an integer from 1 to 1000"},
        {"GET", "/api/v1/log?since=yesterday", "", "query 'since': must be a time like"},
        {"GET", "/api/v1/log?color=red", "", "query 'color': not allowed"},
        {"GET", "/api/v1/log?limit=1&limit=2", "", "query 'limit': given more than once"},
        {"GET", "/api/v1/log?cursor=abc", "", "query 'cursor': not a cursor this service gave"},
        {"GET", "/api/v1/log?cause=bogus", "", "query 'cause': unknown cause"},
        {"GET", "/api/v1/log?horn=%zz", "", "the query has a broken percent escape"},
        {"GET", "/api/v1/schedule/next?count=1e3", "", "query 'count': must be an integer"},
        {"DELETE", "/api/v1/tokens/abc", "",
         "path parameter 'id': must be an integer of at least 1"},
        {"DELETE", "/api/v1/tokens/3", R"({"x":1})", "this request takes no body"},
        {"PUT", "/api/v1/horns", "", "this route takes GET", "application/json", 405},
        {"GET", "/api/v1/nothing", "", "no such route", "application/json", 404},
    };
    for (const auto& c : cases) {
        const auto answer =
            web.Call(c.Method, c.Target,
                     {{"Authorization", "Bearer " + web.Service.TokenOf(TRole::Admin)},
                      {"Content-Type", c.ContentType}},
                     c.Body);
        EXPECT_EQ(answer.Status, c.Status) << c.Target << " " << c.Body;
        const auto message = answer.Json()["error"].value("message", "");
        EXPECT_NE(message.find(c.Message), std::string::npos)
            << c.Target << " " << c.Body << ": " << message;
    }
    EXPECT_EQ(web.Service.RingCalls.load(), 0);
    EXPECT_TRUE(web.Service.Changes().empty());
    // A broken body is described without repeating what it held.
    const auto answer =
        web.Call("POST", "/api/v1/session", {}, R"({"user":"vic","password":"hunter2-secret)");
    EXPECT_EQ(answer.Status, 400);
    EXPECT_EQ(answer.Body.find("hunter2"), std::string::npos) << answer.Body;
}

TEST(WebRequests, BodiesOverTheLimitAreRefusedBeforeTheyAreRead) {
    THttpConfig config;
    config.MaxBodyBytes = 1024;
    TWebFixture web(config);
    const auto head = "POST /api/v1/ring HTTP/1.1\r\nHost: x\r\n" +
                      Token(web.Service, TRole::Operator) + "Content-Type: application/json\r\n";
    // Announced too large: answered at once, and the connection is closed, so the unread body
    // (here holding a request of its own) is never taken for a request.
    const std::string hidden = "POST /api/v1/stop-all HTTP/1.1\r\n" +
                               Token(web.Service, TRole::Operator) + "Content-Length: 0\r\n\r\n";
    bool closed = false;
    auto response = web.Raw(head + "Content-Length: 100000000\r\n\r\n" + hidden,
                            std::chrono::seconds(5), &closed);
    EXPECT_EQ(RawStatus(response), 413) << response;
    EXPECT_TRUE(closed);
    EXPECT_NE(response.find("Connection: close"), std::string::npos);
    EXPECT_EQ(response.find("HTTP/1.1", 5), std::string::npos) << "a second answer: " << response;

    // Chunked: counted as it comes, refused once past the limit.
    std::string chunks;
    for (int i = 0; i < 4; ++i)
        chunks += "190\r\n" + std::string(400, ' ') + "\r\n";
    response = web.Raw(head + "Transfer-Encoding: chunked\r\n\r\n" + chunks + "0\r\n\r\n" + hidden,
                       std::chrono::seconds(5), &closed);
    EXPECT_EQ(RawStatus(response), 413) << response;
    EXPECT_TRUE(closed);

    // Asked before it is sent: no 100 Continue.
    response = web.Raw(head + "Content-Length: 5000\r\nExpect: 100-continue\r\n\r\n",
                       std::chrono::seconds(5), &closed);
    EXPECT_EQ(RawStatus(response), 413) << response;

    // A length and chunks at once, or two lengths, are not guessed at.
    response = web.Raw(head + "Content-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
                       std::chrono::seconds(5), &closed);
    EXPECT_EQ(RawStatus(response), 400) << response;
    EXPECT_TRUE(closed);
    EXPECT_TRUE(web.Service.Changes().empty());

    // Within the limit it is read and checked, and the connection stays open.
    const std::string body = R"({"group":"all","tone":1})";
    response = web.Raw(head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
                       std::chrono::seconds(1), &closed);
    EXPECT_EQ(RawStatus(response), 202) << response;
    EXPECT_FALSE(closed);
    EXPECT_EQ(web.Service.Changes().size(), 1u);
}

TEST(WebRequests, ThePageFilesNeverLeaveTheirFolder) {
    TWebFixture web;
    const std::vector<std::pair<std::string, int>> targets = {
        {"/", 200},
        {"/static/app.js", 200},
        {"/static/img/lamp.svg", 200},
        {"/static/../secret.txt", 404},
        {"/static/%2e%2e/secret.txt", 404},
        {"/static/%2E%2E%2Fsecret.txt", 404},
        {"/static/..%5csecret.txt", 404},
        {"/static/img/..%2F..%2F..%2Fsecret.txt", 404},
        {"/static/app.js%00.png", 400},
        {"/static/link.txt", 404},
        {"/static/up/secret.txt", 404},
        {"/static/.hidden", 404},
        {"/static/img", 404},
        {"/static/", 404},
        {"/static//app.js", 404},
        {"/static/./app.js", 404},
        {"/../secret.txt", 404},
        {"/secret.txt", 404},
        {"//tmp/secret.txt", 404},
    };
    for (const auto& [target, status] : targets) {
        const auto response =
            web.Raw("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(RawStatus(response), status) << target;
        EXPECT_EQ(response.find("outside the page folder"), std::string::npos) << target;
    }
    const auto script = web.Call("GET", "/static/app.js");
    EXPECT_EQ(script.Header("Content-Type"), "text/javascript; charset=utf-8");
    EXPECT_EQ(script.Body, "export const ok = true;\n");
    EXPECT_EQ(web.Call("POST", "/static/app.js", {}, "{}").Status, 405);
}

TEST(WebRequests, EveryAnswerCarriesTheSecurityHeaders) {
    THttpConfig config;
    config.MaxBodyBytes = 16;
    TWebFixture web(config);
    const std::vector<std::string> requests = {
        "GET / HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET /static/app.js HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET /api/v1/horns HTTP/1.1\r\nHost: x\r\n\r\n",
        "GET /api/v1/horns HTTP/1.1\r\nHost: x\r\n" + Token(web.Service, TRole::Viewer) + "\r\n",
        "GET /api/v1/nothing HTTP/1.1\r\nHost: x\r\n\r\n",
        "POST /api/v1/session HTTP/1.1\r\nHost: x\r\nContent-Type: "
        "application/json\r\nContent-Length: "
        "99\r\n\r\n",
        "BREW /pot HTTP/1.1\r\nHost: x\r\n\r\n",
    };
    for (const auto& request : requests) {
        const auto response = web.Raw(request, std::chrono::milliseconds(500));
        const auto first = request.substr(0, request.find('\r'));
        EXPECT_NE(RawStatus(response), 0) << first;
        for (const auto* header :
             {"Content-Security-Policy: default-src 'self'; frame-ancestors 'none'",
              "X-Content-Type-Options: nosniff", "Referrer-Policy: no-referrer"}) {
            EXPECT_NE(response.find(header), std::string::npos) << first << ": " << header;
        }
        if (first.find("/api/") != std::string::npos) {
            EXPECT_NE(response.find("Cache-Control: no-store"), std::string::npos) << first;
            EXPECT_NE(response.find("Content-Type: application/json"), std::string::npos) << first;
        }
    }
}

TEST(WebRequests, TheApiAnswersStartingUntilTheServiceIsReady) {
    TWebFixture web;
    web.Service.ReadyFlag = false;
    for (const auto& [method, target] : std::vector<std::pair<std::string, std::string>>{
             {"GET", "/api/v1/horns"}, {"GET", "/api/v1/health"}, {"POST", "/api/v1/stop-all"}}) {
        const auto answer = web.WithToken(TRole::Admin, method, target);
        EXPECT_EQ(answer.Status, 503) << target;
        EXPECT_EQ(answer.Kind(), "starting");
        EXPECT_EQ(answer.Header("Retry-After"), "5");
    }
    EXPECT_EQ(web.Call("POST", "/api/v1/session", {}, R"({"user":"vic","password":"x"})").Status,
              503);
    EXPECT_EQ(web.Call("GET", "/").Status, 200);  // the page loads and shows that it waits
    web.Service.ReadyFlag = true;
    EXPECT_EQ(web.WithToken(TRole::Admin, "GET", "/api/v1/horns").Status, 200);
}

// /health's states: a monitor reads the status code, a person the status and its problems.
TEST(WebRequests, HealthTellsItsStateByStatusAndProblems) {
    const struct {
        const char* What;
        bool Ready;
        std::vector<std::string> Problems;
        std::size_t Offline;
        int Status;
        std::string State;  // the answer's status, or the error's kind
        std::vector<std::string> Told;
    } cases[] = {
        {"all well", true, {}, 0, 200, "ok", {}},
        {"starting", false, {}, 0, 503, "starting", {}},
        {"a horn offline", true, {}, 1, 200, "degraded", {"1 of 3 horns is offline"}},
        {"the database cannot be written",
         true,
         {"the database cannot be written"},
         1,
         503,
         "failing",
         {"the database cannot be written", "1 of 3 horns is offline"}},
    };
    TWebFixture web;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        web.Service.ReadyFlag = c.Ready;
        web.Service.SetHealth(c.Problems, c.Offline);
        const auto answer = web.WithToken(TRole::Viewer, "GET", "/api/v1/health");
        EXPECT_EQ(answer.Status, c.Status) << answer.Body;
        const auto body = answer.Json();
        if (!c.Ready) {
            EXPECT_EQ(answer.Kind(), c.State) << answer.Body;
            continue;
        }
        EXPECT_EQ(body.value("status", ""), c.State) << answer.Body;
        EXPECT_EQ(body["problems"], nlohmann::json(c.Told)) << answer.Body;
        EXPECT_EQ(body["horns"]["offline"], c.Offline);
        EXPECT_EQ(body["horns"]["online"], 2);
    }
}

TEST(WebRequests, TheHornsListIsKeptUntilItsVersionMoves) {
    TWebFixture web;
    struct TStep {
        std::uint64_t Version;
        const char* Rename;  // the first horn's new name, or null
        const char* Shown;   // the name the answer shows
    };
    const TStep steps[] = {
        {0, "A", "A"},      // the service gives no version: nothing is kept
        {0, "B", "B"},      //
        {7, nullptr, "B"},  // written and kept
        {7, "C", "B"},      // the same version: the kept answer
        {8, nullptr, "C"},  // a new version: written again
        {0, "D", "D"},      // no version again: never the kept answer
    };
    for (const auto& step : steps) {
        web.Service.Version = step.Version;
        if (step.Rename) web.Service.RenameHorn(0, step.Rename);
        const auto answer = web.WithToken(TRole::Viewer, "GET", "/api/v1/horns");
        ASSERT_EQ(answer.Status, 200);
        EXPECT_EQ(answer.Header("Content-Type"), "application/json");
        EXPECT_EQ(answer.Header("Cache-Control"), "no-store");
        EXPECT_EQ(answer.Json()[0]["name"], step.Shown) << "version " << step.Version;
    }
}

TEST(WebRequests, AClientHoldingTheHornsListGets304OrOnlyWhatChanged) {
    TWebFixture web;
    const std::string viewer = "Bearer " + web.Service.TokenOf(TRole::Viewer);
    const auto horns = [&](const std::string& ifNoneMatch) {
        httplib::Headers headers{{"Authorization", viewer}};
        if (!ifNoneMatch.empty()) headers.emplace("If-None-Match", ifNoneMatch);
        return web.Call("GET", "/api/v1/horns", headers);
    };
    const auto changes = [&](std::uint64_t since) {
        return web.Call("GET", "/api/v1/horn-changes?since=" + std::to_string(since),
                        {{"Authorization", viewer}});
    };
    web.Service.Version = 7;
    const auto first = horns("");
    ASSERT_EQ(first.Status, 200);
    EXPECT_EQ(first.Header("ETag"), "\"horns-7\"");
    const std::size_t all = first.Json().size();

    struct TCase {
        std::string IfNoneMatch;
        int Status;
    };
    const TCase cases[] = {
        {"\"horns-7\"", 304}, {"W/\"horns-7\"", 304}, {"\"horns-6\", \"horns-7\"", 304}, {"*", 304},
        {"\"horns-6\"", 200}, {"horns-7", 200},  // not quoted: no tag of ours
    };
    for (const auto& c : cases) {
        const auto answer = horns(c.IfNoneMatch);
        EXPECT_EQ(answer.Status, c.Status) << c.IfNoneMatch;
        EXPECT_EQ(answer.Header("ETag"), "\"horns-7\"") << c.IfNoneMatch;
        if (c.Status == 304) {
            EXPECT_EQ(answer.Body, "") << c.IfNoneMatch;
        }
    }

    // One horn renamed under the next version: a client holding 7 gets that horn only; one
    // holding a version never handed out gets every horn, marked complete.
    web.Service.RenameHorn(1, "Gym");
    web.Service.Version = 8;
    EXPECT_EQ(horns("\"horns-7\"").Status, 200);
    const auto moved = changes(7).Json();
    EXPECT_EQ(moved["version"], 8);
    EXPECT_EQ(moved["complete"], false);
    ASSERT_EQ(moved["horns"].size(), 1u);
    EXPECT_EQ(moved["horns"][0]["name"], "Gym");
    EXPECT_EQ(changes(8).Json()["horns"].size(), 0u);
    const auto unknown = changes(5).Json();
    EXPECT_EQ(unknown["complete"], true);
    EXPECT_EQ(unknown["horns"].size(), all);
    EXPECT_EQ(changes(7).Header("ETag"), "\"horns-8\"");
}

TEST(WebRequests, ALoginMakesAStrictSessionAndFailuresAreRateLimited) {
    TWebFixture web;
    const auto login =
        web.Call("POST", "/api/v1/session", {},
                 nlohmann::json{{"user", "vic"}, {"password", kViewerPassword}}.dump());
    EXPECT_EQ(login.Status, 200);
    const auto cookie = login.Header("Set-Cookie");
    for (const auto* part :
         {"kstbell_session=cookie-", "; Path=/", "; HttpOnly", "; SameSite=Strict"}) {
        EXPECT_NE(cookie.find(part), std::string::npos) << cookie;
    }
    EXPECT_EQ(cookie.find("Secure"), std::string::npos) << "plain HTTP: " << cookie;
    const auto session = cookie.substr(0, cookie.find(';'));
    const auto me =
        web.Call("GET", "/api/v1/session", {{"Cookie", "theme=dark; " + session}}).Json();
    EXPECT_EQ(me["user"], "vic");
    EXPECT_EQ(me["role"], "viewer");
    EXPECT_EQ(me["csrf"], login.Json()["csrf"]);

    const auto out =
        web.Call("DELETE", "/api/v1/session",
                 {{"Cookie", session}, {"X-CSRF-Token", me["csrf"].get<std::string>()}});
    EXPECT_EQ(out.Status, 204);
    EXPECT_NE(out.Header("Set-Cookie").find("kstbell_session=; Max-Age=0"), std::string::npos);
    EXPECT_EQ(web.Call("GET", "/api/v1/session", {{"Cookie", session}}).Status, 401);

    const std::string wrong = R"({"user":"vic","password":"guess"})";
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const auto answer = web.Call("POST", "/api/v1/session", {}, wrong);
        EXPECT_EQ(answer.Status, 401);
        EXPECT_EQ(answer.Header("Retry-After"), attempt == 3 ? "30" : "") << attempt;
    }
    const auto limited = web.Call("POST", "/api/v1/session", {}, wrong);
    EXPECT_EQ(limited.Status, 429);
    EXPECT_EQ(limited.Kind(), "rate_limited");
    EXPECT_EQ(limited.Header("Retry-After"), "30");
}

// Logging out ends a browser session; a token is not one and goes on working, so a logout with
// a token is refused, pointing to the route that does end it, rather than answered as done.
TEST(WebRequests, ALogoutEndsASessionAndIsRefusedForAToken) {
    TWebFixture web;
    const auto session = web.Login("vic", kViewerPassword);
    const httplib::Headers cookie = {{"Cookie", session.Cookie}, {"X-CSRF-Token", session.Csrf}};
    const auto bearer = [&](TRole role) {
        return httplib::Headers{{"Authorization", "Bearer " + web.Service.TokenOf(role)}};
    };
    const struct {
        const char* name;
        httplib::Headers headers;
        int status;
        std::string message;
        int afterwards;  // GET /api/v1/session with the same credentials
    } cases[] = {
        {"viewer's token", bearer(TRole::Viewer), 400,
         "an API token is not a session and logging out does not end it; revoke it with DELETE "
         "/api/v1/tokens/3",
         200},
        {"admin's token", bearer(TRole::Admin), 400, "revoke it with DELETE /api/v1/tokens/1", 200},
        {"browser session", cookie, 204, "", 401},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = web.Call("DELETE", "/api/v1/session", c.headers);
        EXPECT_EQ(out.Status, c.status);
        if (!c.message.empty()) {
            EXPECT_EQ(out.Kind(), "invalid_input");
            EXPECT_NE(out.Json()["error"].value("message", "").find(c.message), std::string::npos)
                << out.Body;
            EXPECT_EQ(out.Header("Set-Cookie"), "") << "nothing to clear";
        }
        EXPECT_EQ(web.Call("GET", "/api/v1/session", c.headers).Status, c.afterwards);
    }
}

TEST(WebRequests, NoSecretReachesALogLineOrAChangeRecord) {
    TWebFixture web;
    std::vector<std::string> secrets = {kAdminPassword,
                                        kViewerPassword,
                                        "guess-9f8e7d",
                                        "new-password-4b5c",
                                        web.Service.TokenOf(TRole::Admin),
                                        web.Service.TokenOf(TRole::Viewer)};
    const auto session = web.Login("admin", kAdminPassword);
    secrets.push_back(session.Cookie.substr(session.Cookie.find('=') + 1));
    secrets.push_back(session.Csrf);
    web.Call("POST", "/api/v1/session", {}, R"({"user":"admin","password":"guess-9f8e7d"})");
    web.Call("POST", "/api/v1/session", {}, R"({"user":"guess-9f8e7d","password":"x"})");
    web.Call("POST", "/api/v1/session", {}, R"({"user":"admin","password":"guess-9f8e7d)");
    const httplib::Headers admin = {{"Cookie", session.Cookie}, {"X-CSRF-Token", session.Csrf}};
    web.Call("POST", "/api/v1/users", admin,
             R"({"name":"ann","role":"viewer","password":"new-password-4b5c"})");
    web.Call("PATCH", "/api/v1/users/ann", admin, R"({"password":"new-password-4b5c"})");
    const auto made = web.Call("POST", "/api/v1/tokens", admin, R"({"name":"ci"})").Json();
    secrets.push_back(made.value("secret", "missing"));
    web.WithToken(TRole::Viewer, "POST", "/api/v1/stop-all");
    web.WithToken(TRole::Admin, "POST", "/api/v1/stop-all");
    web.Call("GET", "/api/v1/horns",
             {{"Authorization", "Bearer " + web.Service.TokenOf(TRole::Admin) + "x"}});
    web.Call("DELETE", "/api/v1/session", admin);

    auto lines = web.LogLines();
    const auto changes = web.Service.Changes();
    lines.insert(lines.end(), changes.begin(), changes.end());
    EXPECT_GE(lines.size(), 10u);
    for (const auto& line : lines) {
        for (const auto& secret : secrets) {
            EXPECT_EQ(line.find(secret), std::string::npos) << "'" << secret << "' in: " << line;
        }
    }
    // Who did what is there.
    const auto has = [&lines](const std::string& text) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(has("admin (token admin-script): stop all"));
    EXPECT_TRUE(
        has("http: POST /api/v1/stop-all 403 forbidden from 127.0.0.1 by vic (token dashboard)"));
    EXPECT_TRUE(has("http: POST /api/v1/users 201 from 127.0.0.1 by admin"));
}

}  // namespace
}  // namespace kstbell::web::test
