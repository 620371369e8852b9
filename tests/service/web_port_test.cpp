// The HTTP front over the real service: simulated horns on loopback, the site's database, its
// calendar and users, asked through the API as a browser or a script would.

#include <httplib.h>

#include <functional>
#include <map>
#include <thread>

#include <nlohmann/json.hpp>

#include "calendar/clock_text.h"
#include "protocol/text.h"
#include "service_fixture.h"
#include "sim/firmware_image.h"
#include "store_fixture.h"
#include "users/api_tokens.h"
#include "users/user_admin.h"

namespace kstbell::service::test {

namespace {

using namespace std::chrono;
using nlohmann::json;
namespace fs = std::filesystem;

const std::string kAlarm = R"(
[alarms.fire]
group = "all"
priority = 900
steps = [{ on_ms = 1000, off_ms = 0 }]
repeat = 60
)";

// Today's date in the site's zone (UTC) as the API writes it.
std::string DateText(sys_days day) {
    return calendar::FormatDate(year_month_day{day});
}

class TWebPortTest : public ::testing::Test {
  protected:
    // The site's file: the horns, a group, an alarm, the front on a free port, and extra.
    void Start(const std::string& extra = {}) {
        harness_.Start("[http]\nlisten = \"127.0.0.1:0\"\n[groups]\neast = [\"" +
                       harness_.Horns().Address(0) + "\", \"" + harness_.Horns().Address(1) +
                       "\"]\n" + kAlarm + extra);
        const std::string url = harness_.Service().WebUrl();
        ASSERT_FALSE(url.empty());
        client_ = std::make_unique<httplib::Client>(url.substr(0, url.size() - 1));
        client_->set_read_timeout(10, 0);
        tokens_ = AddApiPeople(harness_.Service().Store());
        ASSERT_TRUE(Eventually([&] { return Get("ann", "/api/v1/health").Status == 200; }));
    }

    struct TReply {
        int Status = 0;
        json Body;
    };

    TReply Call(const std::string& user, const std::string& method, const std::string& path,
                const std::string& body = {}) {
        const httplib::Headers headers = {{"Authorization", "Bearer " + tokens_.at(user)}};
        httplib::Result r =
            method == "GET"      ? client_->Get(path, headers)
            : method == "DELETE" ? client_->Delete(path, headers)
            : method == "PATCH"
                ? client_->Patch(path, headers, body, "application/json")
                : client_->Post(path, headers, body.empty() ? "{}" : body, "application/json");
        if (!r) return {};
        return {r->status, json::parse(r->body, nullptr, false)};
    }
    TReply Get(const std::string& user, const std::string& path) { return Call(user, "GET", path); }

    // The log's newest entry of this kind, through the API.
    json Newest(const std::string& kind) {
        const TReply log = Get("ann", "/api/v1/log?kind=" + kind + "&limit=1");
        if (log.Status != 200 || log.Body["entries"].empty()) return json();
        return log.Body["entries"][0];
    }

    std::vector<std::string> NextBellDates(int count) {
        std::vector<std::string> out;
        for (const auto& bell :
             Get("vic", "/api/v1/schedule/next?count=" + std::to_string(count)).Body)
            out.push_back(bell["date"].get<std::string>() + " " + bell["plan"].get<std::string>());
        return out;
    }

    TServiceHarness harness_{3, "127.0.93.1"};
    std::unique_ptr<httplib::Client> client_;
    std::map<std::string, std::string> tokens_;
};

TEST_F(TWebPortTest, ChangesAskedThroughTheApiReachTheHornsAndTheLogWithTheCaller) {
    Start();
    struct TCase {
        std::string Caller, Path, Body;
        std::string Kind;                  // the audit entry it leaves
        std::string Actor;                 // as the entry names the caller
        std::vector<std::uint8_t> Relays;  // the three horns' relays afterwards
    };
    const std::vector<TCase> cases = {
        {"olga",
         "/api/v1/ring",
         R"({"group":"east","tone":1,"duration_s":60})",
         "ring",
         "olga (token script)",
         {1, 1, 0}},
        // The ring goes on without the stopped horn.
        {"olga",
         "/api/v1/horns/127.0.93.2/stop",
         "",
         "horn_stopped",
         "olga (token script)",
         {1, 0, 0}},
        {"ann", "/api/v1/alarms/fire/start", "", "alarm_start", "ann (token script)", {1, 1, 1}},
        {"olga", "/api/v1/alarms/fire/stop", "", "alarm_stop", "olga (token script)", {0, 0, 0}},
        {"ann",
         "/api/v1/ring",
         R"({"horns":["127.0.93.3"],"duration_s":60})",
         "ring",
         "ann (token script)",
         {0, 0, 1}},
        {"olga", "/api/v1/stop-all", "", "stop_all", "olga (token script)", {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        const TReply reply = Call(c.Caller, "POST", c.Path, c.Body);
        EXPECT_EQ(reply.Status, 202) << reply.Body.dump();
        for (std::size_t h = 0; h < c.Relays.size(); ++h)
            EXPECT_TRUE(harness_.RelayBecomes(h, c.Relays[h])) << "horn " << h;
        // The log has it once the site has carried it out.
        json entry;
        EXPECT_TRUE(Eventually([&] {
            entry = Newest(c.Kind);
            return entry.is_object() && entry["actor"] == c.Actor;
        })) << entry.dump();
        EXPECT_EQ(entry["cause"], "http");
    }
    // The ring's answer names the ring the log names.
    const TReply ring = Call("olga", "POST", "/api/v1/ring", R"({"group":"east","duration_s":5})");
    ASSERT_EQ(ring.Status, 202);
    EXPECT_EQ(ring.Body["ring"]["horns"], json({"127.0.93.1", "127.0.93.2"}));
    // The ring's entry is written once its horns have answered, on the audit thread.
    EXPECT_TRUE(Eventually([&] { return Newest("ring")["ring"] == ring.Body["ring"]["id"]; }))
        << Newest("ring").dump();
    // A viewer's token rings nothing; what it may not do leaves no entry.
    EXPECT_EQ(Call("vic", "POST", "/api/v1/stop-all").Status, 403);
    EXPECT_EQ(Newest("stop_all")["actor"], "olga (token script)");
    // Names the site does not have.
    EXPECT_EQ(Call("olga", "POST", "/api/v1/ring", R"({"group":"west"})").Status, 404);
    EXPECT_EQ(Call("olga", "POST", "/api/v1/horns/127.0.93.9/stop").Status, 404);
    EXPECT_EQ(Call("olga", "POST", "/api/v1/alarms/flood/start").Status, 404);
    EXPECT_EQ(Call("olga", "POST", "/api/v1/alarms/fire/stop").Status, 409);
}

// The people the site keeps: its only admin, names that would pass for another, and a token
// that a logout does not end; each refused with the reason the API gives, and nothing changed.
TEST_F(TWebPortTest, TheOnlyAdminLookalikeNamesAndATokensLogoutAreRefused) {
    Start();
    const struct {
        std::string Method, Path, Body;
        int Status;
        std::string Message;
    } cases[] = {
        {"DELETE", "/api/v1/users/ann", "", 409,
         "'ann' is the only enabled admin and cannot be removed"},
        {"PATCH", "/api/v1/users/ann", R"({"role":"viewer"})", 409,
         "'ann' is the only enabled admin and cannot be given another role"},
        {"PATCH", "/api/v1/users/ann", R"({"disabled":true,"password":"ann-password-5678"})", 409,
         "'ann' is the only enabled admin and cannot be disabled"},
        {"POST", "/api/v1/users",
         R"({"name":"ann\u200B","role":"admin","password":"ann-password-5678"})", 400,
         "a user name cannot hold an invisible format character (zero-width or direction mark): "
         "U+200B at byte 4"},
        {"DELETE", "/api/v1/session", "", 400, "revoke it with DELETE /api/v1/tokens/1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Method + " " + c.Path + " " + c.Body);
        const TReply reply = Call("ann", c.Method, c.Path, c.Body);
        EXPECT_EQ(reply.Status, c.Status);
        const std::string message =
            reply.Body.contains("error") ? reply.Body["error"].value("message", "") : "";
        EXPECT_NE(message.find(c.Message), std::string::npos) << message;
    }
    const TReply users = Get("ann", "/api/v1/users");
    ASSERT_EQ(users.Status, 200) << "the token still works";
    ASSERT_EQ(users.Body.size(), 3u);
    EXPECT_EQ(users.Body[0]["name"], "ann");
    EXPECT_EQ(users.Body[0]["role"], "admin");
    EXPECT_TRUE(users.Body[0]["disabled"].is_null());
    EXPECT_TRUE(Newest("user_password_changed").is_null()) << "nor a new password";
    EXPECT_TRUE(Newest("user_removed").is_null());
}

TEST_F(TWebPortTest, StopAllIsNeverRefusedWhateverSounds) {
    Start();
    const auto ring = [&](const std::string& body) {
        return Call("olga", "POST", "/api/v1/ring", body).Status == 202;
    };
    const auto alarm = [&] {
        return Call("olga", "POST", "/api/v1/alarms/fire/start").Status == 202;
    };
    struct TCase {
        const char* What;
        std::function<bool()> Before;
    };
    const std::vector<TCase> cases = {
        {"nothing sounds", [] { return true; }},
        {"a group rings", [&] { return ring(R"({"group":"east","duration_s":60})"); }},
        {"an alarm sounds over a ring",
         [&] { return ring(R"({"group":"all","duration_s":60})") && alarm(); }},
        {"a ring until stopped", [&] { return ring(R"({"group":"all"})"); }},
    };
    int stops = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_TRUE(c.Before());
        const TReply reply = Call("olga", "POST", "/api/v1/stop-all");
        EXPECT_EQ(reply.Status, 202);
        ++stops;
        for (std::size_t h = 0; h < 3; ++h)
            EXPECT_TRUE(harness_.RelayBecomes(h, 0)) << "horn " << h;
        EXPECT_EQ(harness_.Entries(store::TAuditKind::StopAll).size(), std::size_t(stops));
        for (const auto& alarmInfo : Get("vic", "/api/v1/alarms").Body)
            EXPECT_FALSE(alarmInfo["sounding"].get<bool>());
    }
}

// Stop all answers what it stopped: the alarms sounding, and the other rings holding a horn.
TEST_F(TWebPortTest, StopAllSaysHowManyRingsAndAlarmsItStopped) {
    Start();
    const auto call = [&](const std::string& path, const std::string& body = {}) {
        return Call("olga", "POST", path, body).Status == 202;
    };
    const struct {
        const char* What;
        std::vector<std::pair<std::string, std::string>> Before;  // path, body
        int Rings, Alarms;
    } cases[] = {
        {"nothing sounds", {}, 0, 0},
        {"a group rings", {{"/api/v1/ring", R"({"group":"east","duration_s":60})"}}, 1, 0},
        {"a group and a horn ring",
         {{"/api/v1/ring", R"({"group":"east","duration_s":60})"},
          {"/api/v1/ring",
           R"({"horns":[")" + harness_.Horns().Address(2) + R"("],"duration_s":60})"}},
         2,
         0},
        {"an alarm sounds", {{"/api/v1/alarms/fire/start", ""}}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        for (const auto& [path, body] : c.Before)
            ASSERT_TRUE(call(path, body));
        const TReply reply = Call("olga", "POST", "/api/v1/stop-all");
        EXPECT_EQ(reply.Status, 202);
        EXPECT_EQ(reply.Body, json({{"rings_stopped", c.Rings}, {"alarms_stopped", c.Alarms}}));
        for (std::size_t h = 0; h < 3; ++h)
            EXPECT_TRUE(harness_.RelayBecomes(h, 0)) << "horn " << h;
    }
    // The front's lines reach the service's log with their one prefix.
    const std::string lines = harness_.Lines();
    EXPECT_NE(lines.find("http: POST /api/v1/stop-all 202"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("http: http:"), std::string::npos) << lines;
}

// A horn's firmware reads as the device reports it and the desktop window shows it ("01.0A"),
// and the ring holding it says what it is (why, who, its label) beside its number.
TEST_F(TWebPortTest, AHornsFirmwareAndItsRingAreSaidAsEverywhereElse) {
    Start();
    json horn;
    ASSERT_TRUE(Eventually([&] {
        horn = Get("vic", "/api/v1/horns/" + harness_.Horns().Address(0)).Body;
        return horn.is_object() && horn["firmware"].is_string();
    })) << horn.dump();
    EXPECT_EQ(horn["firmware"],
              FirmwareVersionText(sim::kBuiltInFirmware.Major, sim::kBuiltInFirmware.Minor));
    EXPECT_EQ(horn["firmware"], "01.0A");

    ASSERT_EQ(Call("olga", "POST", "/api/v1/ring", R"({"group":"east","duration_s":60})").Status,
              202);
    horn = Get("vic", "/api/v1/horns/" + harness_.Horns().Address(0)).Body;
    ASSERT_TRUE(horn["ring"].is_object()) << horn.dump();
    EXPECT_EQ(horn["ring"]["cause"], "http");
    EXPECT_EQ(horn["ring"]["actor"], "olga (token script)");
    EXPECT_EQ(horn["ring"]["label"], "east");
    const json listed = Get("vic", "/api/v1/horns").Body;
    EXPECT_EQ(listed[0]["ring"], horn["ring"]);
    EXPECT_EQ(Call("olga", "POST", "/api/v1/stop-all").Status, 202);
}

// Any user changes its own password with the current one; the new one ends its sessions.
TEST_F(TWebPortTest, AUserChangesItsOwnPasswordWithTheCurrentOne) {
    Start();
    const auto login = [&](const std::string& password) {
        const auto r =
            client_->Post("/api/v1/session", json({{"user", "vic"}, {"password", password}}).dump(),
                          "application/json");
        if (!r || r->status != 200) return std::pair<std::string, std::string>();
        const std::string cookie = r->get_header_value("Set-Cookie");
        return std::pair{cookie.substr(0, cookie.find(';')),
                         json::parse(r->body)["csrf"].get<std::string>()};
    };
    const auto change = [&](const std::string& current, const std::string& password) {
        const auto [cookie, csrf] =
            login(current.starts_with("wrong") ? "vic-password-1234" : current);
        const auto r = client_->Post(
            "/api/v1/session/password", {{"Cookie", cookie}, {"X-CSRF-Token", csrf}},
            json({{"current", current}, {"password", password}}).dump(), "application/json");
        return r ? r->status : 0;
    };
    EXPECT_EQ(change("wrong-password-1", "vic-new-password-5678"), 400);
    EXPECT_FALSE(login("vic-password-1234").first.empty());
    const auto [cookie, csrf] = login("vic-password-1234");
    EXPECT_EQ(change("vic-password-1234", "vic-new-password-5678"), 204);
    EXPECT_TRUE(login("vic-password-1234").first.empty());
    EXPECT_FALSE(login("vic-new-password-5678").first.empty());
    // The session from before the change has ended.
    const auto old = client_->Get("/api/v1/session", {{"Cookie", cookie}});
    ASSERT_TRUE(old);
    EXPECT_EQ(old->status, 401);
}

TEST_F(TWebPortTest, ExceptionsAddedThroughTheApiChangeTheCalendarsBells) {
    // Every day runs "daily" (one bell at 23:59:59, never in the next seconds); "soon" has a
    // bell a few seconds ahead, which rings only on a day an exception gives it. Close to
    // midnight the test waits for the next day.
    if (system_clock::now() - floor<days>(system_clock::now()) > hours(23) + minutes(59))
        std::this_thread::sleep_until(ceil<days>(system_clock::now()) + 1s);
    const sys_seconds soon = SecondsAhead(4s);
    const sys_days today = floor<days>(soon);
    std::string text = "[schedule.week]\n";
    for (const char* day :
         {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"})
        text += std::string(day) + " = \"daily\"\n";
    text +=
        "[schedule.day_plans.daily]\nbells = [{ time = \"23:59:59\", group = \"all\", "
        "tone = 2, duration_s = 2 }]\n[schedule.day_plans.soon]\nbells = [{ time = \"" +
        calendar::FormatTimeOfDay(soon - today) +
        "\", group = \"east\", tone = 2, duration_s = 2 }]\n";
    Start(text);

    const std::string day0 = DateText(today), day1 = DateText(today + days(1)),
                      day2 = DateText(today + days(2)), day3 = DateText(today + days(3));
    EXPECT_EQ(NextBellDates(2), (std::vector<std::string>{day0 + " daily", day1 + " daily"}));

    // Tomorrow and the day after without bells: the next bells skip them.
    const TReply quiet = Call("ann", "POST", "/api/v1/schedule/exceptions",
                              R"({"from":")" + day1 + R"(","to":")" + day2 +
                                  R"(","no_bells":true,"name":"Staff training"})");
    ASSERT_EQ(quiet.Status, 201) << quiet.Body.dump();
    EXPECT_EQ(NextBellDates(2), (std::vector<std::string>{day0 + " daily", day3 + " daily"}));
    EXPECT_EQ(Newest("exception_added")["actor"], "ann (token script)");

    // Mistakes: nothing changes.
    struct TBad {
        std::string Body;
        int Status;
    };
    for (const auto& bad : std::vector<TBad>{
             {R"({"date":")" + day2 + R"(","plan":"daily"})", 409},    // overlaps
             {R"({"date":")" + day3 + R"(","plan":"weekend"})", 400},  // no such plan
             {R"({"from":")" + day3 + R"(","to":")" + day1 + R"(","no_bells":true})", 400},
         }) {
        EXPECT_EQ(Call("ann", "POST", "/api/v1/schedule/exceptions", bad.Body).Status, bad.Status)
            << bad.Body;
    }
    EXPECT_EQ(Call("olga", "POST", "/api/v1/schedule/exceptions",
                   R"({"date":")" + day3 + R"(","no_bells":true})")
                  .Status,
              403);
    EXPECT_EQ(NextBellDates(2), (std::vector<std::string>{day0 + " daily", day3 + " daily"}));

    // Today runs "soon": its bell rings the east group within seconds, at its instant.
    const TReply today0 = Call("ann", "POST", "/api/v1/schedule/exceptions",
                               R"({"date":")" + day0 + R"(","plan":"soon"})");
    ASSERT_EQ(today0.Status, 201) << today0.Body.dump();
    EXPECT_EQ(Get("vic", "/api/v1/schedule/today").Body["plan"], "soon");
    ASSERT_TRUE(harness_.RelayBecomes(0, 1, 10s));
    EXPECT_EQ(harness_.Horns().Snapshot(2).Relay, 0);
    // The bell's entry is written once its horns have answered, after the relay switched.
    EXPECT_TRUE(Eventually([&] { return Newest("bell_fired")["group"] == "east"; }))
        << Newest("bell_fired").dump();

    // Removed: the days run the week's plan again.
    const auto id = std::to_string(quiet.Body["id"].get<std::int64_t>());
    EXPECT_EQ(Call("ann", "DELETE", "/api/v1/schedule/exceptions/" + id).Status, 204);
    EXPECT_EQ(Call("ann", "DELETE", "/api/v1/schedule/exceptions/" + id).Status, 404);
    EXPECT_EQ(NextBellDates(2), (std::vector<std::string>{day1 + " daily", day2 + " daily"}));
    const json exceptions = Get("vic", "/api/v1/schedule/exceptions").Body;
    ASSERT_EQ(exceptions.size(), 1u);
    EXPECT_EQ(exceptions[0]["added_by"], "ann (token script)");
}

// A database that turns bad while the service runs: whoever knocks, with the right password or
// a valid token, is told the service's fault (500), never that they were refused; the store
// has the problem, and the log tells it once.
TEST_F(TWebPortTest, ADamagedDatabaseIsTheServicesFaultNeverTheCallers) {
    Start();
    const std::string session = [&] {
        httplib::Result r =
            client_->Post("/api/v1/session", R"({"user":"olga","password":"olga-password-1234"})",
                          "application/json");
        if (!r) return std::string();
        const std::string cookie = r->get_header_value("Set-Cookie");
        return cookie.substr(0, cookie.find(';'));
    }();
    ASSERT_FALSE(session.empty());
    store::test::DamageTable(harness_.Service().Store().File(), "users");

    const struct {
        const char* What;
        std::string Method, Path, Body;
        httplib::Headers Headers;
    } cases[] = {
        {"a login with the right password",
         "POST",
         "/api/v1/session",
         R"({"user":"ann","password":"ann-password-1234"})",
         {}},
        {"a login with a wrong password",
         "POST",
         "/api/v1/session",
         R"({"user":"ann","password":"not-her-password"})",
         {}},
        {"a valid token",
         "GET",
         "/api/v1/users",
         "",
         {{"Authorization", "Bearer " + tokens_["ann"]}}},
        {"a viewer's token",
         "GET",
         "/api/v1/horns",
         "",
         {{"Authorization", "Bearer " + tokens_["vic"]}}},
        {"a session's cookie", "GET", "/api/v1/session", "", {{"Cookie", session}}},
        {"/health with a token",
         "GET",
         "/api/v1/health",
         "",
         {{"Authorization", "Bearer " + tokens_["vic"]}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        for (int attempt = 0; attempt < 2; ++attempt) {
            httplib::Result r = c.Method == "GET"
                                    ? client_->Get(c.Path, c.Headers)
                                    : client_->Post(c.Path, c.Headers, c.Body, "application/json");
            ASSERT_TRUE(r);
            EXPECT_EQ(r->status, 500) << r->body;
            const json body = json::parse(r->body, nullptr, false);
            const std::string message =
                body.contains("error") ? body["error"].value("message", "") : "";
            EXPECT_NE(message.find("the database cannot be read"), std::string::npos) << r->body;
            EXPECT_EQ(r->body.find("wrong user name or password"), std::string::npos);
        }
    }

    // /health asks for a viewer, whom damaged users cannot tell apart: the service's fault too.
    const auto problems = harness_.Service().Store().Problems();
    ASSERT_EQ(problems.size(), 1u);
    const std::string problem = problems[0];
    EXPECT_NE(problem.find("the database is damaged"), std::string::npos) << problem;

    const std::string lines = harness_.Lines();
    std::size_t told = 0;
    for (std::size_t at = lines.find(problem); at != std::string::npos;
         at = lines.find(problem, at + 1))
        ++told;
    EXPECT_EQ(told, 1u) << lines;
}

// Faults of records the credentials do not need: a monitor's token still reads /health, which
// says "failing" (503) with the store's problem, and what cannot be done is the service's fault
// (500), never an answer as if it had been: a logout that ended nothing, an exception list
// without the database's exceptions.
TEST_F(TWebPortTest, RecordsThatCannotBeKeptAreTheServicesFault) {
    Start();
    const fs::path file = harness_.Service().Store().File();
    httplib::Result login =
        client_->Post("/api/v1/session", R"({"user":"olga","password":"olga-password-1234"})",
                      "application/json");
    ASSERT_TRUE(login);
    ASSERT_EQ(login->status, 200);
    const std::string cookie = login->get_header_value("Set-Cookie");
    const httplib::Headers session = {{"Cookie", cookie.substr(0, cookie.find(';'))},
                                      {"X-CSRF-Token", json::parse(login->body).value("csrf", "")}};
    const httplib::Headers token = {{"Authorization", "Bearer " + tokens_.at("ann")}};
    // An exception of the database's, so that listing them reads their records.
    ASSERT_EQ(Call("ann", "POST", "/api/v1/schedule/exceptions",
                   R"({"date":"2099-12-31","no_bells":true,"name":"far"})")
                  .Status,
              201);

    // The file and its log may not be written (not even by root) until the guard ends.
    struct TWritable {
        fs::path File;
        ~TWritable() {
            store::test::SetImmutable(File, false);
            store::test::SetImmutable(File.string() + "-wal", false);
        }
    } writable{file};
    const struct {
        const char* What;
        std::function<void()> Break;  // before the request; null: as it is
        std::string Method, Path;
        httplib::Headers Headers;
        int Status;
        std::string Says;  // in the error's message, or the health's status
    } cases[] = {
        {"a logout while nothing can be written",
         [&] {
             ASSERT_TRUE(store::test::SetImmutable(file.string() + "-wal", true) &&
                         store::test::SetImmutable(file, true));
         },
         "DELETE", "/api/v1/session", session, 500, "the database cannot be read"},
        {"/health while nothing can be written", nullptr, "GET", "/api/v1/health", token, 503,
         "failing"},
        {"the exceptions while their records are damaged",
         [&] {
             store::test::SetImmutable(file, false);
             store::test::SetImmutable(file.string() + "-wal", false);
             store::test::DamageTable(file, "schedule_exceptions");
         },
         "GET", "/api/v1/schedule/exceptions", token, 500, "the database cannot be read"},
        {"/health while records are damaged", nullptr, "GET", "/api/v1/health", token, 503,
         "failing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        if (c.Break) c.Break();
        httplib::Result r = c.Method == "GET" ? client_->Get(c.Path, c.Headers)
                                              : client_->Delete(c.Path, c.Headers);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, c.Status) << r->body;
        const json body = json::parse(r->body, nullptr, false);
        if (c.Status == 503) {
            EXPECT_EQ(body.value("status", ""), c.Says) << r->body;
            EXPECT_FALSE(body["problems"].empty()) << r->body;
        } else {
            const std::string message =
                body.contains("error") ? body["error"].value("message", "") : "";
            EXPECT_NE(message.find(c.Says), std::string::npos) << r->body;
        }
    }
}
}  // namespace

}  // namespace kstbell::service::test
