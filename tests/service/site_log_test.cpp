// kstbellctl site log over a database the test fills: the filters, the order, the JSON lines,
// the times people type, and the refusals.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "cli/instant_text.h"
#include "cli/run.h"
#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::cli {
namespace {

using namespace std::chrono;
using store::TAuditCause;
using store::TAuditKind;

int RunCli(std::vector<std::string> args, std::string& out, std::string& err) {
    args.insert(args.begin(), "kstbellctl");
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    std::ostringstream o, e;
    const int code = Run(static_cast<int>(argv.size()), argv.data(), o, e, TRunEnv{});
    out = o.str();
    err = e.str();
    return code;
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(SiteLogTest, TimesAsPeopleTypeThem) {
    const sys_seconds now = sys_days{year{2027} / January / 7} + hours{12};
    const std::pair<std::string, std::optional<sys_seconds>> cases[] = {
        {"2027-01-07T08:00:30Z", sys_days{year{2027} / January / 7} + hours{8} + seconds{30}},
        {"2027-01-07 08:00Z", sys_days{year{2027} / January / 7} + hours{8}},
        {"2027-01-06Z", sys_days{year{2027} / January / 6}},
        {"30m", now - minutes{30}},
        {"2h", now - hours{2}},
        {"7d", now - days{7}},
        {"2027-02-30Z", std::nullopt},
        {"2027-01-07T25:00Z", std::nullopt},
        {"08:00", std::nullopt},
        {"yesterday", std::nullopt},
        {"5x", std::nullopt},
        {"2027-01-07 08:00:3", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseInstant(text, now), expected) << text;
    // Without Z: this computer's local time, which is UTC here.
    setenv("TZ", "UTC", 1);
    EXPECT_EQ(ParseInstant("2027-01-07 08:00", now), sys_days{year{2027} / January / 7} + hours{8});
}

TEST(SiteLogTest, FiltersOrderAndJson) {
    store::test::TTempDir dir;
    {
        store::TStore s(dir.Path());
        s.Log().Append(store::test::Entry(0, TAuditKind::ServiceStart, TAuditCause::Service));
        s.Log().Append(store::test::Entry(1000, TAuditKind::Ring, TAuditCause::Mqtt, "10.0.1.20"));
        s.Log().Append(store::test::Entry(2000, TAuditKind::BellMissed, TAuditCause::Schedule,
                                          "10.0.1.21", "school 08:00:00"));
        s.Log().Append(store::test::Entry(3000, TAuditKind::Ring, TAuditCause::Mqtt, "10.0.1.21"));
        s.Log().Append(store::test::Entry(4000, TAuditKind::StopAll, TAuditCause::Http));
    }
    const std::string state = dir.Path().string();
    struct TCase {
        std::vector<std::string> Args;
        std::vector<std::string> Kinds;  // of the lines, in order
    };
    const TCase cases[] = {
        {{}, {"service_start", "ring", "bell_missed", "ring", "stop_all"}},
        {{"--limit", "2"}, {"ring", "stop_all"}},
        {{"--since", "2027-01-07T08:00:01Z", "--limit", "2"}, {"ring", "bell_missed"}},
        {{"--until", "2027-01-07T08:00:02Z"}, {"service_start", "ring"}},
        {{"--kind", "bell_missed", "--kind", "stop_all"}, {"bell_missed", "stop_all"}},
        {{"--cause", "mqtt", "--horn", "10.0.1.21"}, {"ring"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"site", "log", "--state-dir", state};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        std::string out, err;
        ASSERT_EQ(RunCli(args, out, err), 0) << err;
        std::istringstream lines(out);
        std::vector<std::string> kinds;
        for (std::string line; std::getline(lines, line);)
            kinds.push_back(line.substr(26, line.find(' ', 26) - 26));
        EXPECT_EQ(kinds, c.Kinds) << c.Args.size() << "\n" << out;
    }

    std::string out, err;
    ASSERT_EQ(
        RunCli({"--json", "site", "log", "--state-dir", state, "--kind", "bell_missed"}, out, err),
        0);
    ASSERT_EQ(Lines(out), 1u) << out;
    const auto entry = nlohmann::json::parse(out);
    EXPECT_EQ(entry["at"], "2027-01-07T08:00:02.000Z");
    EXPECT_EQ(entry["kind"], "bell_missed");
    EXPECT_EQ(entry["cause"], "schedule");
    EXPECT_EQ(entry["horn"], "10.0.1.21");
    EXPECT_EQ(entry["detail"], "school 08:00:00");
    EXPECT_TRUE(entry["ring"].is_null());

    // Refusals: a time that is none, a kind that is none, a folder without a database.
    EXPECT_EQ(RunCli({"site", "log", "--state-dir", state, "--since", "soon"}, out, err), 2);
    EXPECT_NE(err.find("'soon' is no time"), std::string::npos) << err;
    EXPECT_EQ(RunCli({"site", "log", "--state-dir", state, "--kind", "rings"}, out, err), 2);
    EXPECT_EQ(RunCli({"site", "log", "--state-dir", state + "/none"}, out, err), 1);
    EXPECT_NE(err.find("cannot be read"), std::string::npos) << err;
}

}  // namespace
}  // namespace kstbell::cli
