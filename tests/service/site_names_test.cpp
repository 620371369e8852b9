// The horns' names and the groups the site file does not give, through the API over the real
// service on simulated horns: who may change them, the site file's own words for a name or a
// group it would refuse, a part the file holds refused as the file's, a new name in the horns
// list, the log and after a restart, and a group changed while running rung at the next ring.

#include <httplib.h>

#include <nlohmann/json.hpp>

#include "service_fixture.h"
#include "store/store.h"
#include "users/api_tokens.h"
#include "users/user_admin.h"

namespace kstbell::service::test {

namespace {

using namespace std::chrono;
using nlohmann::json;

constexpr const char* kFirst = "127.0.95.1";
constexpr const char* kSecond = "127.0.95.2";
// The first horn's name is the site file's.
const std::string kNamedInFile =
    std::string("[[devices.horn]]\naddress = \"") + kFirst + "\"\nname = \"Office\"\n";

class TSiteNamesTest : public ::testing::Test {
  protected:
    void Start(const std::string& extra = kNamedInFile) {
        harness_.Start("[http]\nlisten = \"127.0.0.1:0\"\n" + extra);
        const std::string url = harness_.Service().WebUrl();
        ASSERT_FALSE(url.empty());
        client_ = std::make_unique<httplib::Client>(url.substr(0, url.size() - 1));
        client_->set_read_timeout(20, 0);
        if (tokens_.empty()) tokens_ = AddApiPeople(harness_.Service().Store());
        ASSERT_TRUE(Eventually([&] { return Call("ann", "GET", "/api/v1/health").Status == 200; }));
    }

    struct TReply {
        int Status = 0;
        json Body;
    };

    TReply Call(const std::string& user, const std::string& method, const std::string& path,
                const json& body = nullptr) {
        const httplib::Headers headers = {{"Authorization", "Bearer " + tokens_.at(user)}};
        const std::string text = body.is_null() ? std::string() : body.dump();
        httplib::Result r =
            method == "GET"      ? client_->Get(path, headers)
            : method == "PUT"    ? client_->Put(path, headers, text, "application/json")
            : method == "DELETE" ? client_->Delete(path, headers)
                                 : client_->Post(path, headers, text, "application/json");
        if (!r) return {};
        return {r->status, json::parse(r->body, nullptr, false)};
    }

    static std::string Message(const TReply& reply) {
        return reply.Body.is_object() && reply.Body.contains("error")
                   ? reply.Body["error"].value("message", "")
                   : std::string();
    }

    // The horn's name in the horns list.
    std::string ListedName(const std::string& address) {
        for (const auto& horn : Call("vic", "GET", "/api/v1/horns").Body)
            if (horn["address"] == address) return horn["name"];
        return "(not listed)";
    }

    TServiceHarness harness_{2, kFirst};
    std::unique_ptr<httplib::Client> client_;
    std::map<std::string, std::string> tokens_;
};

TEST_F(TSiteNamesTest, ChangesNeedAnAdminAndTheSiteFilesRules) {
    Start();
    const std::string second = std::string("/api/v1/horns/") + kSecond + "/name";
    const struct {
        std::string What, User, Method, Path;
        json Body;
        int Status;
        std::string Message;  // a part of the error's message
    } cases[] = {
        {"an operator may not name a horn",
         "olga",
         "PUT",
         second,
         {{"name", "Gym"}},
         403,
         "needs administer"},
        {"a viewer may not change a group",
         "vic",
         "PUT",
         "/api/v1/groups/gym",
         {{"horns", {kFirst}}},
         403,
         "needs administer"},
        {"a name the site file gives",
         "ann",
         "PUT",
         std::string("/api/v1/horns/") + kFirst + "/name",
         {{"name", "Hall"}},
         409,
         "is set in the site file"},
        {"an invisible character",
         "ann",
         "PUT",
         second,
         {{"name", "Gym\u200B"}},
         400,
         "key 'name': must not hold an invisible format character"},
        {"no such horn",
         "ann",
         "PUT",
         "/api/v1/horns/127.0.95.9/name",
         {{"name", "X"}},
         404,
         "no horn at 127.0.95.9"},
        {"a name key missing", "ann", "PUT", second, json::object(), 400, "name"},
        {"'all' is built in",
         "ann",
         "PUT",
         "/api/v1/groups/all",
         {{"horns", {kFirst}}},
         400,
         "'all' is built in (every horn) and cannot be defined"},
        {"a group's name out of its rule",
         "ann",
         "PUT",
         "/api/v1/groups/Gym",
         {{"horns", {kFirst}}},
         400,
         "a group's name is 1 to 32 lower-case letters, digits, _ and -"},
        {"no members",
         "ann",
         "PUT",
         "/api/v1/groups/gym",
         {{"horns", json::array()}},
         400,
         "key 'horns': must be a list of horn names, addresses and ranges"},
        {"a member that is no horn",
         "ann",
         "PUT",
         "/api/v1/groups/gym",
         {{"horns", {kFirst, "127.0.95.9"}}},
         400,
         "key 'horns[1]': '127.0.95.9' holds no configured horn"},
        {"a member that is nothing",
         "ann",
         "PUT",
         "/api/v1/groups/gym",
         {{"horns", {"nobody"}}},
         400,
         "key 'horns[0]': 'nobody' is no horn's name, address or range"},
        {"removing a group there is not", "ann", "DELETE", "/api/v1/groups/gym", nullptr, 404,
         "no group named 'gym'"},
        {"removing all", "ann", "DELETE", "/api/v1/groups/all", nullptr, 400,
         "'all' is built in (every horn) and cannot be removed"},
        {"a viewer reads where each lives", "vic", "GET", "/api/v1/groups/settings", nullptr, 200,
         ""},
        {"members by the file's name and a range",
         "ann",
         "PUT",
         "/api/v1/groups/gym",
         {{"horns", {"Office", "127.0.95.2/31"}}},
         200,
         ""},
        {"an operator may not remove it", "olga", "DELETE", "/api/v1/groups/gym", nullptr, 403,
         "needs administer"},
        {"an admin removes it", "ann", "DELETE", "/api/v1/groups/gym", nullptr, 204, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const auto reply = Call(c.User, c.Method, c.Path, c.Body);
        EXPECT_EQ(reply.Status, c.Status) << reply.Body.dump();
        EXPECT_NE(Message(reply).find(c.Message), std::string::npos) << Message(reply);
    }
    const auto settings = Call("vic", "GET", "/api/v1/groups/settings").Body;
    EXPECT_EQ(settings["source"], "database");
    EXPECT_EQ(settings["revision"], 2) << "the group added, then removed";
    EXPECT_EQ(settings["horns"],
              json::parse(R"([{"address":"127.0.95.1","name":"Office","source":"file"},
                              {"address":"127.0.95.2","name":"","source":"database"}])"));
    harness_.Service().Flush();
    const auto logged = harness_.Entries(store::TAuditKind::GroupChanged);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].Detail, "group gym added: 127.0.95.1, 127.0.95.2");
    EXPECT_EQ(logged[0].Group, "gym");
    EXPECT_EQ(logged[0].Actor, "ann (token script)");
    EXPECT_EQ(logged[1].Detail, "group gym removed (it held 127.0.95.1, 127.0.95.2)");
}

TEST_F(TSiteNamesTest, GroupsTheSiteFileHoldsAreReadOnly) {
    Start(kNamedInFile + "[groups]\nfront = [\"Office\"]\n");
    for (const auto& [method, path] :
         {std::pair{"PUT", "/api/v1/groups/front"}, std::pair{"PUT", "/api/v1/groups/gym"},
          std::pair{"DELETE", "/api/v1/groups/front"}}) {
        SCOPED_TRACE(std::string(method) + " " + path);
        const auto reply = Call("ann", method, path, json{{"horns", {kSecond}}});
        EXPECT_EQ(reply.Status, 409);
        EXPECT_NE(Message(reply).find("the groups are set in the site file"), std::string::npos)
            << Message(reply);
    }
    EXPECT_EQ(Call("vic", "GET", "/api/v1/groups/settings").Body["source"], "file");
    const auto groups = Call("vic", "GET", "/api/v1/groups").Body;
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[1], json::parse(R"({"name":"front","horns":["127.0.95.1"]})"));
}

TEST_F(TSiteNamesTest, ANewNameShowsAtOnceInTheListTheLogAndAfterARestart) {
    Start();
    const std::string path = std::string("/api/v1/horns/") + kSecond + "/name";
    const struct {
        std::string Name;
        std::string Detail;  // of its audit entry
    } steps[] = {
        {"Gym", "named \"Gym\""},
        {"Sports hall", "named \"Sports hall\" (was \"Gym\")"},
        {"", "name cleared (was \"Sports hall\")"},
        {"Gym", "named \"Gym\""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Name);
        const auto reply = Call("ann", "PUT", path, {{"name", step.Name}});
        ASSERT_EQ(reply.Status, 200) << reply.Body.dump();
        EXPECT_EQ(reply.Body["name"], step.Name);
        EXPECT_EQ(ListedName(kSecond), step.Name);
        harness_.Service().Flush();
        const auto logged = harness_.Entries(store::TAuditKind::HornRenamed);
        ASSERT_FALSE(logged.empty());
        EXPECT_EQ(logged.back().Detail, step.Detail);
        EXPECT_EQ(logged.back().HornAddress, kSecond);
    }
    EXPECT_EQ(Call("ann", "PUT", path, {{"name", "Gym"}}).Status, 200) << "the same name again";
    harness_.Service().Flush();
    EXPECT_EQ(harness_.Entries(store::TAuditKind::HornRenamed).size(), 4u)
        << "no entry for no change";
    // The lines for people name it too, from the rename on.
    EXPECT_NE(harness_.Lines().find("horn 127.0.95.2 is now 127.0.95.2 (Gym)"), std::string::npos)
        << harness_.Lines();

    harness_.Stop();
    Start();
    EXPECT_EQ(ListedName(kSecond), "Gym") << "kept in the database";
    EXPECT_EQ(ListedName(kFirst), "Office");
}

// The timetable's bells may name a group made here, which then stays while they do.
TEST_F(TSiteNamesTest, AGroupTheTimetableRingsIsKeptWhileItDoes) {
    Start();
    const json timetable = {
        {"plans",
         {{"school",
           {{"bells", {{{"time", "08:00"}, {"group", "gym"}, {"tone", 1}, {"duration_s", 3}}}}}}}},
        {"week", json::object()},
        {"holidays", json::array()}};
    const httplib::Headers headers = {{"Authorization", "Bearer " + tokens_.at("ann")},
                                      {"If-Match", "\"0\""}};
    auto saved = client_->Put("/api/v1/timetable", headers, timetable.dump(), "application/json");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, 400) << "no group gym yet: " << saved->body;
    ASSERT_EQ(Call("ann", "PUT", "/api/v1/groups/gym", {{"horns", {kSecond}}}).Status, 200);
    saved = client_->Put("/api/v1/timetable", headers, timetable.dump(), "application/json");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, 200) << saved->body;
    const auto removed = Call("ann", "DELETE", "/api/v1/groups/gym");
    EXPECT_EQ(removed.Status, 409);
    EXPECT_EQ(Message(removed),
              "group gym is rung by the timetable's plan school: take it out of the timetable "
              "first");
    EXPECT_EQ(Call("ann", "PUT", "/api/v1/groups/gym", {{"horns", {kFirst}}}).Status, 200)
        << "changed, it may be";
}

TEST_F(TSiteNamesTest, AGroupChangedWhileRunningIsRungAtTheNextRing) {
    Start();
    const json ring = {{"group", "east"}, {"tone", 1}, {"duration_s", 30}};
    const struct {
        std::string What;
        json Members;  // null: the group removed
        int RingStatus;
        std::vector<std::string> Rung;
    } steps[] = {
        {"made with the first horn", {kFirst}, 202, {kFirst}},
        {"changed to the second", {kSecond}, 202, {kSecond}},
        {"changed to both", {kFirst, kSecond}, 202, {kFirst, kSecond}},
        {"removed", nullptr, 404, {}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.What);
        const auto saved = step.Members.is_null() ? Call("ann", "DELETE", "/api/v1/groups/east")
                                                  : Call("ann", "PUT", "/api/v1/groups/east",
                                                         {{"horns", step.Members}});
        ASSERT_EQ(saved.Status, step.Members.is_null() ? 204 : 200) << saved.Body.dump();
        const auto rang = Call("olga", "POST", "/api/v1/ring", ring);
        ASSERT_EQ(rang.Status, step.RingStatus) << rang.Body.dump();
        if (step.RingStatus != 202) continue;
        EXPECT_EQ(rang.Body["ring"]["horns"].get<std::vector<std::string>>(), step.Rung);
        for (std::size_t h = 0; h < 2; ++h) {
            const bool in = std::find(step.Rung.begin(), step.Rung.end(),
                                      h == 0 ? kFirst : kSecond) != step.Rung.end();
            if (in) {
                EXPECT_TRUE(harness_.RelayBecomes(h, 1)) << "horn " << h;
            }
        }
        // The horns list says which groups each horn is in now.
        for (const auto& horn : Call("vic", "GET", "/api/v1/horns").Body) {
            const auto groups = horn["groups"].get<std::vector<std::string>>();
            const bool in =
                std::find(step.Rung.begin(), step.Rung.end(), horn["address"]) != step.Rung.end();
            EXPECT_EQ(std::find(groups.begin(), groups.end(), "east") != groups.end(), in)
                << horn.dump();
        }
        ASSERT_EQ(Call("olga", "POST", "/api/v1/stop-all", json::object()).Status, 202);
        for (std::size_t h = 0; h < 2; ++h)
            EXPECT_TRUE(harness_.RelayBecomes(h, 0)) << "horn " << h;
    }
}

}  // namespace

}  // namespace kstbell::service::test
