// The timetable edited through the API over the real service on simulated horns: who may read
// and save it, the revision a save is made from (If-Match), a timetable refused with the very
// messages the site file would get, one the site file holds, a bell added or removed a few
// seconds ahead, the days of a range, and the timetable commands' export and import.

#include <httplib.h>

#include <signal.h>

#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "calendar/clock_text.h"
#include "config/error.h"
#include "service/command_line.h"
#include "service/site_file.h"
#include "service/timetable_command.h"
#include "service/timetable_document.h"
#include "service_fixture.h"
#include "store/store.h"
#include "users/api_tokens.h"
#include "users/user_admin.h"

namespace kstbell::service::test {

namespace {

using namespace std::chrono;
using nlohmann::json;

// A timetable that rings `all` at these instants (UTC, whole seconds) every day.
json EveryDayAt(const std::vector<sys_seconds>& at) {
    json bells = json::array();
    for (const auto instant : at)
        bells.push_back({{"time", calendar::FormatTimeOfDay(instant - floor<days>(instant))},
                         {"group", "all"},
                         {"tone", 2},
                         {"duration_s", 2}});
    json week = json::object();
    for (const char* day :
         {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"})
        week[day] = "test";
    return {{"plans", {{"test", {{"bells", bells}}}}}, {"week", week}, {"holidays", json::array()}};
}

class TTimetableApiTest : public ::testing::Test {
  protected:
    void Start(const std::string& extra = {}) {
        harness_.Start("[http]\nlisten = \"127.0.0.1:0\"\n" + extra);
        const std::string url = harness_.Service().WebUrl();
        ASSERT_FALSE(url.empty());
        client_ = std::make_unique<httplib::Client>(url.substr(0, url.size() - 1));
        client_->set_read_timeout(20, 0);
        tokens_ = AddApiPeople(harness_.Service().Store());
        ASSERT_TRUE(Eventually([&] { return Call("ann", "GET", "/api/v1/health").Status == 200; }));
    }

    struct TReply {
        int Status = 0;
        json Body;
        std::string ETag;
    };

    TReply Call(const std::string& user, const std::string& method, const std::string& path,
                const std::string& body = {}, const std::string& ifMatch = {}) {
        httplib::Headers headers = {{"Authorization", "Bearer " + tokens_.at(user)}};
        if (!ifMatch.empty()) headers.emplace("If-Match", ifMatch);
        httplib::Result r = method == "GET" ? client_->Get(path, headers)
                            : method == "PUT"
                                ? client_->Put(path, headers, body, "application/json")
                                : client_->Post(path, headers, body, "application/json");
        if (!r) return {};
        return {r->status, json::parse(r->body, nullptr, false), r->get_header_value("ETag")};
    }

    TReply Save(const json& document, std::int64_t from) {
        return Call("ann", "PUT", "/api/v1/timetable", document.dump(),
                    "\"" + std::to_string(from) + "\"");
    }

    std::string Message(const TReply& reply) {
        return reply.Body.is_object() && reply.Body.contains("error")
                   ? reply.Body["error"].value("message", "")
                   : std::string();
    }

    TServiceHarness harness_{2, "127.0.94.1"};
    std::unique_ptr<httplib::Client> client_;
    std::map<std::string, std::string> tokens_;
};

const json kSchool = {
    {"plans",
     {{"school",
       {{"bells",
         {{{"time", "08:00"},
           {"group", "all"},
           {"tone", 1},
           {"duration_s", 5},
           {"label", "First lesson"}}}}}}}},
    {"week",
     {{"monday", "school"},
      {"tuesday", "school"},
      {"wednesday", "school"},
      {"thursday", "school"},
      {"friday", "school"},
      {"saturday", nullptr},
      {"sunday", nullptr}}},
    {"holidays", {{{"name", "Winter break"}, {"first", "2027-02-15"}, {"last", "2027-02-19"}}}}};

TEST_F(TTimetableApiTest, SavesNeedAnAdminAndTheCurrentRevision) {
    Start();
    json twoBells = kSchool;
    twoBells["plans"]["school"]["bells"].push_back(
        {{"time", "08:45:30"}, {"group", "all"}, {"tone", 0}, {"duration_s", 3}});
    const struct {
        std::string What, User, Method, Path;
        json Body;
        std::string IfMatch;
        int Status;
        std::string Message;  // a part of the error's message; the new ETag when saved
    } cases[] = {
        {"a viewer reads it", "vic", "GET", "/api/v1/timetable", nullptr, "", 200, "\"0\""},
        {"no If-Match", "ann", "PUT", "/api/v1/timetable", kSchool, "", 428, "If-Match"},
        {"an operator may not save", "olga", "PUT", "/api/v1/timetable", kSchool, "\"0\"", 403,
         "needs administer"},
        {"a viewer may not save", "vic", "PUT", "/api/v1/timetable", kSchool, "\"0\"", 403,
         "needs administer"},
        {"an If-Match that is no ETag", "ann", "PUT", "/api/v1/timetable", kSchool, "0", 400,
         "If-Match must be"},
        {"from a revision never saved", "ann", "PUT", "/api/v1/timetable", kSchool, "\"1\"", 412,
         "no timetable is saved yet"},
        {"saved from nothing", "ann", "PUT", "/api/v1/timetable", kSchool, "\"0\"", 200, "\"1\""},
        {"saved again from nothing: stale", "ann", "PUT", "/api/v1/timetable", twoBells, "\"0\"",
         412, "revision 1 by ann (token script) at 20"},
        {"saved from the current one", "ann", "PUT", "/api/v1/timetable", twoBells, "\"1\"", 200,
         "\"2\""},
        {"an operator may not restore", "olga", "POST", "/api/v1/timetable/revisions/1/restore",
         nullptr, "", 403, "needs administer"},
        {"no such revision", "ann", "POST", "/api/v1/timetable/revisions/9/restore", nullptr, "",
         404, "no revision 9"},
        {"a stale restore", "ann", "POST", "/api/v1/timetable/revisions/1/restore", nullptr,
         "\"1\"", 412, "revision 2 by ann"},
        {"restored", "ann", "POST", "/api/v1/timetable/revisions/1/restore", nullptr, "", 200,
         "\"3\""},
        {"an operator lists the revisions", "olga", "GET", "/api/v1/timetable/revisions", nullptr,
         "", 200, ""},
        {"days in the wrong order", "vic", "GET", "/api/v1/days?from=2027-01-05&to=2027-01-01",
         nullptr, "", 400, "comes before from"},
        {"more than 400 days", "vic", "GET", "/api/v1/days?from=2027-01-01&to=2028-02-05", nullptr,
         "", 400, "at most 400 days"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const TReply reply =
            Call(c.User, c.Method, c.Path, c.Body.is_null() ? "" : c.Body.dump(), c.IfMatch);
        EXPECT_EQ(reply.Status, c.Status) << reply.Body.dump();
        if (reply.Status == 200 && c.Path == "/api/v1/timetable") {
            EXPECT_EQ(reply.ETag, c.Message);
        } else if (reply.Status != 200) {
            EXPECT_NE(Message(reply).find(c.Message), std::string::npos) << Message(reply);
        }
    }
    // The restore is a new revision equal to the first.
    const TReply now = Call("vic", "GET", "/api/v1/timetable");
    EXPECT_EQ(now.Body["source"], "database");
    EXPECT_EQ(now.Body["revision"], 3);
    EXPECT_EQ(now.Body["changed_by"], "ann (token script)");
    for (const char* key : {"plans", "week", "holidays"})
        EXPECT_EQ(now.Body[key], kSchool[key]) << key;
    const TReply revisions = Call("vic", "GET", "/api/v1/timetable/revisions");
    std::vector<std::string> summaries;
    for (const auto& r : revisions.Body)
        summaries.push_back(std::to_string(r["revision"].get<int>()) + " " +
                            r["summary"].get<std::string>());
    EXPECT_EQ(summaries, (std::vector<std::string>{
                             "3 restored revision 1: plan school: 1 bell removed",
                             "2 plan school: 1 bell added",
                             "1 plan school added (1 bell); monday: none to school; tuesday: none "
                             "to school; wednesday: none to school; thursday: none to school; "
                             "friday: none to school; holidays: 1 added"}));
    harness_.Service().Flush();
    const auto logged = harness_.Entries(store::TAuditKind::TimetableChanged);
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[1].Actor, "ann (token script)");
    EXPECT_EQ(logged[1].Cause, store::TAuditCause::Http);
    EXPECT_EQ(logged[1].Detail, "revision 2: plan school: 1 bell added");
}

// A timetable refused through the API gets every mistake the site file's reader finds in the
// same tables, word for word (the file's adds its name and the line), and nothing changes.
TEST_F(TTimetableApiTest, ARefusedTimetableGetsTheSiteFilesMessages) {
    Start("[groups]\neast = [\"127.0.94.1\"]\n");
    const struct {
        std::string What;
        json Plans, Week, Holidays;
        std::string Toml;  // the same as the site file's tables
    } cases[] = {
        {"values out of range",
         {{"x",
           {{"bells", {{{"time", "25:00"}, {"group", "all"}, {"tone", 9}, {"duration_s", 0}}}}}}},
         json::object(),
         json::array(),
         "[schedule.day_plans.x]\nbells = [{ time = \"25:00\", group = \"all\", tone = 9, "
         "duration_s = 0 }]\n"},
        {"types and a missing key",
         {{"x", {{"bells", {{{"time", 800}, {"group", "east"}, {"tone", "1"}}}}}}},
         json::object(),
         json::array(),
         "[schedule.day_plans.x]\nbells = [{ time = 800, group = \"east\", tone = \"1\" }]\n"},
        {"a group the site lacks and a plan the week lacks",
         {{"x",
           {{"bells", {{{"time", "08:00"}, {"group", "west"}, {"tone", 1}, {"duration_s", 3}}}}}}},
         {{"monday", "y"}, {"funday", "x"}},
         json::array(),
         "[schedule.week]\nmonday = \"y\"\nfunday = \"x\"\n[schedule.day_plans.x]\nbells = [{ "
         "time = \"08:00\", group = \"west\", tone = 1, duration_s = 3 }]\n"},
        {"holidays without a name, out of order",
         json::object(),
         json::object(),
         {{{"first", "2027-01-05"}, {"last", "2027-01-01"}},
          {{"name", "x"}, {"first", "2027-02-30"}}},
         "[[schedule.holidays.dates]]\nfirst = \"2027-01-05\"\nlast = \"2027-01-01\"\n"
         "[[schedule.holidays.dates]]\nname = \"x\"\nfirst = \"2027-02-30\"\n"},
        {"an unknown key in a plan and a bell",
         {{"x",
           {{"rings", json::array()},
            {"bells",
             {{{"time", "08:00"},
               {"group", "all"},
               {"tone", 1},
               {"duration_s", 3},
               {"sound", 1}}}}}}},
         json::object(),
         json::array(),
         "[schedule.day_plans.x]\nrings = []\nbells = [{ time = \"08:00\", group = \"all\", tone = "
         "1, duration_s = 3, sound = 1 }]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<std::string> fileErrors;
        TServiceConfig unused;
        const std::string site =
            SiteText(harness_.Horns(), "[groups]\neast = [\"127.0.94.1\"]\n" + c.Toml);
        ASSERT_FALSE(ReadSiteText(site, "site.toml", unused, fileErrors));
        std::set<std::string> expected;
        for (const auto& e : fileErrors) {
            // "site.toml:LINE: key ...": the document has no file and no lines.
            const auto key = e.find(": key '");
            ASSERT_NE(key, std::string::npos) << e;
            expected.insert(e.substr(key + 2));
        }
        const json document = {{"plans", c.Plans}, {"week", c.Week}, {"holidays", c.Holidays}};
        const TReply reply = Save(document, 0);
        EXPECT_EQ(reply.Status, 400) << reply.Body.dump();
        EXPECT_EQ(reply.Body["error"]["kind"], "invalid_input");
        std::set<std::string> got;
        for (const auto& d : reply.Body["error"].value("details", json::array()))
            got.insert(d.get<std::string>());
        EXPECT_EQ(got, expected);
    }
    EXPECT_EQ(Call("vic", "GET", "/api/v1/timetable").Body["revision"], 0) << "nothing saved";
    // Two bells of one group at one time: the file names the other's line, the document its
    // place.
    json twice = kSchool;
    twice["plans"]["school"]["bells"].push_back(kSchool["plans"]["school"]["bells"][0]);
    EXPECT_EQ(Save(twice, 0).Body["error"]["message"],
              "key 'schedule.day_plans.school.bells[1]': rings 'all' at 08:00:00 as "
              "schedule.day_plans.school.bells[0] does");
}

TEST_F(TTimetableApiTest, ATimetableTheSiteFileHoldsIsReadOnly) {
    Start(BellsAt({SecondsAhead(1h)}, 2));
    const TReply read = Call("vic", "GET", "/api/v1/timetable");
    EXPECT_EQ(read.Body["source"], "file");
    EXPECT_EQ(read.Body["revision"], 0);
    EXPECT_EQ(read.Body["plans"]["test"]["bells"].size(), 1u);
    for (const auto& [method, path] :
         {std::pair{"PUT", "/api/v1/timetable"},
          std::pair{"POST", "/api/v1/timetable/revisions/1/restore"}}) {
        const TReply refused =
            Call("ann", method, path, method == std::string("PUT") ? kSchool.dump() : "", "\"0\"");
        EXPECT_EQ(refused.Status, 409) << path;
        EXPECT_NE(Message(refused).find("set in the site file"), std::string::npos);
    }
    EXPECT_EQ(Call("vic", "GET", "/api/v1/timetable/revisions").Body, json::array());
    EXPECT_EQ(Call("vic", "GET", "/api/v1/timetable").Body, read.Body);
}

// A save reaches the scheduler at once: a bell added a few seconds ahead rings at its instant,
// one removed before its instant does not ring.
TEST_F(TTimetableApiTest, ABellSavedAheadRingsAndOneRemovedDoesNot) {
    Start();
    const struct {
        std::string What;
        bool RemovedAfter;  // a second save takes it out again before its instant
        std::uint8_t Relay;
    } cases[] = {{"added 3 s ahead", false, 1}, {"added, then removed 1 s before", true, 0}};
    std::int64_t revision = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_TRUE(harness_.RelayBecomes(0, 0));
        const sys_seconds at = SecondsAhead(3s);
        const auto asked = steady_clock::now();
        TReply saved = Save(EveryDayAt({at}), revision);
        const auto answered = steady_clock::now();
        ASSERT_EQ(saved.Status, 200) << saved.Body.dump();
        revision = saved.Body["revision"];
        std::printf("[ save answered in %.1f ms; the bell is %.0f ms ahead ]\n",
                    duration<double, std::milli>(answered - asked).count(),
                    duration<double, std::milli>(at - system_clock::now()).count());
        // The next bells the service names are the new timetable's at once.
        const TReply next = Call("vic", "GET", "/api/v1/schedule/next?count=1");
        EXPECT_EQ(next.Body[0]["at"], calendar::FormatUtc(at).substr(0, 19) + ".000Z");
        if (c.RemovedAfter) {
            std::this_thread::sleep_until(system_clock::time_point(at) - 1s);
            saved = Save(EveryDayAt({at + 1h}), revision);
            ASSERT_EQ(saved.Status, 200);
            revision = saved.Body["revision"];
        }
        const bool rang = harness_.RelayBecomes(0, 1, 5s);
        EXPECT_EQ(rang, c.Relay == 1);
    }
    harness_.Service().Flush();
    const std::string lines = harness_.Lines();
    const auto started = lines.find("started: bell test");
    ASSERT_NE(started, std::string::npos) << lines;
    const auto end = lines.find('\n', started);
    std::printf("[ %s ]\n", lines.substr(started, end - started).c_str());
    EXPECT_EQ(harness_.Entries(store::TAuditKind::BellMissed).size(), 0u);
}

TEST_F(TTimetableApiTest, TheDaysSayWhichRuleGaveTheirPlan) {
    Start();
    ASSERT_EQ(Save(kSchool, 0).Status, 200);
    ASSERT_EQ(Call("ann", "POST", "/api/v1/schedule/exceptions",
                   R"({"date":"2027-02-22","no_bells":true,"name":"Training"})")
                  .Status,
              201);
    const TReply days = Call("vic", "GET", "/api/v1/days?from=2027-02-12&to=2027-02-22");
    ASSERT_EQ(days.Status, 200) << days.Body.dump();
    std::vector<std::string> got;
    for (const auto& day : days.Body) {
        std::string text = day["date"].get<std::string>() + " " + day["rule"].get<std::string>();
        if (!day["plan"].is_null()) text += " " + day["plan"].get<std::string>();
        if (!day["name"].get<std::string>().empty())
            text += " (" + day["name"].get<std::string>() + ")";
        for (const auto& bell : day["bells"])
            text += " " + bell["local"].get<std::string>().substr(11) + " " +
                    bell["label"].get<std::string>();
        got.push_back(text);
    }
    EXPECT_EQ(got, (std::vector<std::string>{
                       "2027-02-12 week school 08:00:00 First lesson", "2027-02-13 week",
                       "2027-02-14 week", "2027-02-15 holiday (Winter break)",
                       "2027-02-16 holiday (Winter break)", "2027-02-17 holiday (Winter break)",
                       "2027-02-18 holiday (Winter break)", "2027-02-19 holiday (Winter break)",
                       "2027-02-20 week", "2027-02-21 week", "2027-02-22 exception (Training)"}));
    // A year at once.
    const auto asked = steady_clock::now();
    const TReply year = Call("vic", "GET", "/api/v1/days?from=2027-01-01&to=2027-12-31");
    std::printf("[ a year of days answered in %.1f ms ]\n",
                duration<double, std::milli>(steady_clock::now() - asked).count());
    EXPECT_EQ(year.Status, 200);
    EXPECT_EQ(year.Body.size(), 365u);
    // Without their bells; and more bells than one answer holds.
    const TReply plain =
        Call("vic", "GET", "/api/v1/days?from=2027-02-12&to=2027-02-12&bells=false");
    ASSERT_EQ(plain.Status, 200);
    EXPECT_EQ(plain.Body[0]["plan"], "school");
    EXPECT_EQ(plain.Body[0]["bells"], json::array());
    json busy = kSchool;
    auto& bells = busy["plans"]["school"]["bells"];
    for (int m = 1; m < 240; ++m)
        bells.push_back({{"time", calendar::FormatTimeOfDay(hours(8) + minutes(m))},
                         {"group", "all"},
                         {"tone", 1},
                         {"duration_s", 1}});
    ASSERT_EQ(Save(busy, 1).Status, 200);
    const TReply tooMany = Call("vic", "GET", "/api/v1/days?from=2027-01-01&to=2027-12-31");
    EXPECT_EQ(tooMany.Status, 400);
    EXPECT_NE(Message(tooMany).find("more than 50000 bells"), std::string::npos);
    EXPECT_EQ(Call("vic", "GET", "/api/v1/days?from=2027-01-01&to=2027-12-31&bells=false").Status,
              200);
}

// An exception added here whose plan a save takes away is left out, and the log says so; the
// day runs its week's plan again.
TEST_F(TTimetableApiTest, AnExceptionWhosePlanASaveRemovesIsLeftOut) {
    Start();
    json withShort = kSchool;
    withShort["plans"]["short"] = kSchool["plans"]["school"];
    ASSERT_EQ(Save(withShort, 0).Status, 200);
    ASSERT_EQ(Call("ann", "POST", "/api/v1/schedule/exceptions",
                   R"({"date":"2027-03-05","plan":"short","name":"Staff training"})")
                  .Status,
              201);
    const auto rule = [&] {
        return Call("vic", "GET", "/api/v1/days?from=2027-03-05&to=2027-03-05&bells=false")
            .Body[0]["rule"];
    };
    EXPECT_EQ(rule(), "exception");
    ASSERT_EQ(Save(kSchool, 1).Status, 200);
    EXPECT_EQ(rule(), "week");
    harness_.Service().Flush();
    EXPECT_NE(harness_.Lines().find("names the day plan 'short', which the timetable no longer "
                                    "has; it is left out"),
              std::string::npos)
        << harness_.Lines();
}

// What export writes, import reads back to the same timetable, in another state folder.
TEST(TimetableCommandTest, ExportThenImportGivesTheSameTimetable) {
    const json kinds[] = {
        {{"plans", json::object()}, {"week", json::object()}, {"holidays", json::array()}},
        kSchool,
        {{"plans",
          {{"late \"shift\" B",
            {{"bells",
              {{{"time", "22:00:05"},
                {"group", "hall-b"},
                {"tone", 3},
                {"duration_s", 86400},
                {"label", "Shift \\ \"change\""}},
               {{"time", "06:00"}, {"group", "all"}, {"tone", 0}, {"duration_s", 1}}}}}},
           {"empty", {{"bells", json::array()}}}}},
         {"week", {{"sunday", "late \"shift\" B"}, {"monday", "empty"}}},
         {"holidays",
          {{{"name", "One day"}, {"first", "2027-05-01"}, {"last", "2027-05-01"}},
           {{"name", "Ümlaut break"}, {"first", "2027-12-23"}, {"last", "2028-01-02"}}}}},
    };
    for (const auto& document : kinds) {
        SCOPED_TRACE(document.dump());
        calendar::TTimetable original;
        std::vector<config::TError> mistakes;
        ASSERT_TRUE(ReadTimetableDocument(document.dump(), {}, original, mistakes))
            << DocumentMistake(mistakes.front());
        TTempDir from, to;
        {
            store::TStore store(from.Path());
            ASSERT_TRUE(store.Timetable()
                            .Save(0, TimetableDocument(original), "test",
                                  {floor<milliseconds>(system_clock::now()), "test"})
                            .Saved);
        }
        std::ostringstream exported, err;
        ASSERT_EQ(RunTimetableCommand({"export", "", ""}, from.Path(), exported, err), 0)
            << err.str();
        const std::string file = to.Path() + "/timetable.toml";
        std::ofstream(file) << exported.str();
        std::ostringstream out;
        // A site file without [schedule] names the groups the bells may use.
        const std::string site = to.Path() + "/site.toml";
        std::ofstream(site) << "[devices]\naddresses = [\"127.0.95.1\"]\n[groups]\nhall-b = "
                               "[\"127.0.95.1\"]\n";
        ASSERT_EQ(RunTimetableCommand({"import", file, site}, to.Path(), out, err), 0)
            << err.str() << exported.str();
        store::TStore store(to.Path());
        const auto imported = store.Timetable().Current();
        ASSERT_TRUE(imported);
        EXPECT_EQ(imported->ChangedBy, kImportActor);
        calendar::TTimetable back;
        ASSERT_TRUE(ReadTimetableDocument(imported->Document, {}, back, mistakes));
        // The same document: bells in time order, whatever order they were given in.
        EXPECT_EQ(TimetableDocument(back), TimetableDocument(original));
        EXPECT_EQ(json::parse(imported->Document), json::parse(TimetableDocument(original)));
    }
}

TEST(TimetableCommandTest, NextAndCheckConfigReadTheTimetableTheDatabaseKeeps) {
    struct TCase {
        const char* What;
        bool Saved;         // a revision kept in the folder
        std::size_t Plans;  // the plans the calendar then has
        const char* Note;
    };
    const TCase cases[] = {
        {"a folder without a database", false, 0, "no timetable is kept in "},
        {"the newest revision", true, 1, ", revision 1 (saved by test)"},
    };
    for (const auto& c : cases) {
        TTempDir dir;
        if (c.Saved) {
            calendar::TTimetable timetable;
            std::vector<config::TError> mistakes;
            ASSERT_TRUE(ReadTimetableDocument(kSchool.dump(), {}, timetable, mistakes));
            store::TStore store(dir.Path());
            ASSERT_TRUE(store.Timetable()
                            .Save(0, TimetableDocument(timetable), "test",
                                  {floor<milliseconds>(system_clock::now()), "test"})
                            .Saved);
        }
        calendar::TCalendarConfig calendar;
        calendar.Schedule.Exceptions.push_back({{{}, {}}, "", "kept"});
        std::string note, error;
        ASSERT_TRUE(ReadKeptTimetable(dir.Path(), calendar, note, error)) << c.What << error;
        EXPECT_NE(note.find(c.Note), std::string::npos) << c.What << ": " << note;
        EXPECT_EQ(calendar.Schedule.Plans.size(), c.Plans) << c.What;
        EXPECT_EQ(calendar.Schedule.Exceptions.size(), 1u) << "the file's exceptions stay";
    }
}

TEST(TimetableCommandTest, AnImportWithMistakesSavesNothing) {
    const struct {
        std::string What, File, Site;
        int Exit;
        std::vector<std::string> Told;
    } cases[] = {
        {"every mistake by line",
         "[schedule.week]\nmonday = \"nope\"\n[schedule.day_plans.x]\nbells = [{ time = \"8\", "
         "group = \"all\", tone = 1, duration_s = 3 }]\n[[schedule.exceptions]]\ndate = "
         "\"2027-01-01\"\nno_bells = true\n",
         "",
         2,
         {"F:2: key 'schedule.week.monday': no day plan named 'nope'",
          "F:4: key 'schedule.day_plans.x.bells[0].time': must be a time of day",
          "F:5: key 'schedule.exceptions': exceptions are kept apart from the timetable"}},
        {"a group the site file lacks",
         "[schedule.day_plans.x]\nbells = [{ time = \"08:00\", group = \"gym\", tone = 1, "
         "duration_s = 3 }]\n",
         "[devices]\naddresses = [\"127.0.95.1\"]\n",
         2,
         {"F:2: key 'schedule.day_plans.x.bells[0].group': no group named 'gym'"}},
        {"a site file that holds the timetable",
         "[schedule.week]\n",
         "[devices]\naddresses = [\"127.0.95.1\"]\n[schedule.week]\n",
         1,
         {"holds the timetable ([schedule])"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        TTempDir dir;
        const std::string file = dir.Path() + "/F";
        std::ofstream(file) << c.File;
        std::string site;
        if (!c.Site.empty()) {
            site = dir.Path() + "/site.toml";
            std::ofstream(site) << c.Site;
        }
        std::ostringstream out, err;
        EXPECT_EQ(RunTimetableCommand({"import", file, site}, dir.Path(), out, err), c.Exit);
        std::string told = err.str();
        for (std::size_t at; (at = told.find(file)) != std::string::npos;)
            told.replace(at, file.size(), "F");
        for (const auto& part : c.Told)
            EXPECT_NE(told.find(part), std::string::npos) << told;
        EXPECT_FALSE(store::TStore(dir.Path()).Timetable().Current()) << "nothing saved";
    }
}

TEST(TimetableChangesTest, WhatChangedIsSaidInWords) {
    calendar::TTimetable school;
    std::vector<config::TError> mistakes;
    ASSERT_TRUE(ReadTimetableDocument(kSchool.dump(), {}, school, mistakes));
    calendar::TTimetable louder = school;
    louder.Plans["school"].Bells[0].Tone = 3;
    louder.Plans["exams"].Bells = {{std::chrono::hours(9), "all", 1, 5}};
    louder.Week[0] = "exams";
    louder.Holidays.clear();
    const struct {
        const calendar::TTimetable& Before;
        const calendar::TTimetable& After;
        std::string Said;
    } cases[] = {
        {school, school, "no change"},
        {school, louder,
         "plan exams added (1 bell); plan school: 1 bell changed; monday: school to exams; "
         "holidays: 1 removed"},
        {louder, school,
         "plan school: 1 bell changed; plan exams removed; monday: exams to school; holidays: 1 "
         "added"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TimetableChanges(c.Before, c.After), c.Said);
}

TEST(TimetableCommandTest, ItsCommandLineIsTakenAndItsMistakesExitTwo) {
    const struct {
        std::vector<std::string> Args;
        std::optional<int> Exit;  // nothing: the command is to run
        std::string Verb, File, Site, StateDir, Told;
    } cases[] = {
        {{"timetable", "export", "--state-dir", "/s"}, std::nullopt, "export", "", "", "/s", ""},
        {{"--state-dir", "/s", "timetable", "import", "t.toml", "--config", "site.toml"},
         std::nullopt,
         "import",
         "t.toml",
         "site.toml",
         "/s",
         ""},
        {{"timetable", "--state-dir", "/s", "import", "t.toml"},
         std::nullopt,
         "import",
         "t.toml",
         "",
         "/s",
         ""},
        {{"timetable"}, 2, "", "", "", "", "subcommand is required"},
        {{"timetable", "import"}, 2, "", "", "", "", "FILE is required"},
        {{"--simulate", "3", "timetable", "export"},
         2,
         "",
         "",
         "",
         "",
         "--simulate does not go with timetable"},
        {{"timetable", "import", "--help"}, 0, "", "", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args.front() + " " + c.Args.back());
        TCommandLine line;
        std::ostringstream out, err;
        const auto exit = ParseCommandLine(c.Args, line, out, err);
        EXPECT_EQ(exit, c.Exit) << err.str();
        EXPECT_NE(err.str().find(c.Told), std::string::npos) << err.str();
        if (exit) continue;
        ASSERT_TRUE(line.TimetableCommand);
        EXPECT_EQ(line.TimetableCommand->Verb, c.Verb);
        EXPECT_EQ(line.TimetableCommand->File, c.File);
        EXPECT_EQ(line.TimetableCommand->SiteFile, c.Site);
        EXPECT_EQ(line.StateDir, c.StateDir);
    }
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// SIGHUP reads the timetable again: the site file's, each mistake of a bad one logged while the
// running one stays; or, without [schedule], the database's newest revision.
TEST(TimetableReloadTest, SighupTakesAGoodTimetableAndRefusesABadOne) {
    TTempDir dir;
    auto horns = StartHorns("127.0.96.1", 1);
    const std::string state = dir.Path() + "/state";
    const std::string log = dir.Path() + "/kstbelld.log";
    const std::string ahead = BellsAt({SecondsAhead(2h)}, 2);
    const std::string config = dir.Write("site.toml", SiteText(*horns, ahead));
    TChild service({KSTBELLD, "--config", config, "--state-dir", state}, log);
    const auto shows = [&](const std::string& text) {
        return Eventually([&] { return FileText(log).find(text) != std::string::npos; }, 15s);
    };
    ASSERT_TRUE(shows("next bell: test")) << FileText(log);
    const struct {
        std::string What;
        std::function<std::string()> Timetable;  // written just before the signal
        std::vector<std::string> Logged;
    } cases[] = {
        {"mistakes: each logged, the running timetable stays",
         [] {
             return "[schedule.week]\nmonday = \"nope\"\n[schedule.day_plans.test]\nbells = [{ "
                    "time = \"08:00\", group = \"all\", tone = 9, duration_s = 3 }]\n";
         },
         {"SIGHUP: the site file's timetable is refused (2 mistake(s)); the running one stays",
          "site.toml:11: key 'schedule.week.monday': no day plan named 'nope'",
          "site.toml:13: key 'schedule.day_plans.test.bells[0].tone': must be an integer from 0 "
          "to 3"}},
        {"a group the running service lacks",
         [] {
             return "[groups]\ngym = [\"127.0.96.1\"]\n" + BellsAt({SecondsAhead(2h)}, 2, "gym");
         },
         {"no group named 'gym' (the groups are read at a restart)"}},
        {"a good one runs at once: its bell 3 s ahead rings",
         [] { return BellsAt({SecondsAhead(3s)}, 1); },
         {"the timetable read again: plan test: 1 bell added, 1 bell removed",
          "started: bell test"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::ofstream(config) << SiteText(*horns, c.Timetable());
        service.Signal(SIGHUP);
        for (const auto& line : c.Logged)
            EXPECT_TRUE(shows(line)) << line << "\n" << FileText(log);
    }
    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(15s), 0) << FileText(log);
}

TEST(TimetableReloadTest, SighupTakesUpARevisionImportedMeanwhile) {
    TTempDir dir;
    auto horns = StartHorns("127.0.96.11", 1);
    const std::string state = dir.Path() + "/state";
    const std::string log = dir.Path() + "/kstbelld.log";
    const std::string config = dir.Write("site.toml", SiteText(*horns));
    TChild service({KSTBELLD, "--config", config, "--state-dir", state}, log);
    const auto shows = [&](const std::string& text) {
        return Eventually([&] { return FileText(log).find(text) != std::string::npos; }, 15s);
    };
    ASSERT_TRUE(shows("no bells ahead in the calendar")) << FileText(log);
    const std::string file = dir.Write("t.toml", BellsAt({SecondsAhead(3s)}, 1));
    std::ostringstream out, err;
    ASSERT_EQ(RunTimetableCommand({"import", file, config}, state, out, err), 0) << err.str();
    service.Signal(SIGHUP);
    EXPECT_TRUE(shows("timetable: revision 1 (saved by kstbelld timetable import) taken up"))
        << FileText(log);
    EXPECT_TRUE(shows("started: bell test")) << FileText(log);
    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(15s), 0) << FileText(log);
}

}  // namespace

}  // namespace kstbell::service::test
