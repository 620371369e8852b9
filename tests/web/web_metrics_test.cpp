// The metrics: Prometheus' own checker (promtool, when installed) and a strict reading of the
// text format accept them; label values are escaped; the histogram adds up; they need view
// permission unless configured public.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

#include "tests/web/web_fixture.h"
#include "web/metrics_text.h"

namespace kstbell::web::test {
namespace {

// Runs promtool check metrics over the text: its exit status and what it said.
int Promtool(const std::string& text, std::string& said) {
    const std::string command = std::string(KSTBELL_PROMTOOL) + " check metrics 2>&1";
    FILE* pipe = ::popen(command.c_str(), "w");
    if (!pipe) return -1;
    std::fwrite(text.data(), 1, text.size(), pipe);
    const int status = ::pclose(pipe);
    said = "(see the test's output)";
    return WEXITSTATUS(status);
}

TEST(WebMetrics, TheTextFormatIsStrictlyRightAndAddsUp) {
    TWebFixture web;
    const auto answer = web.WithToken(TRole::Viewer, "GET", "/metrics");
    ASSERT_EQ(answer.Status, 200);
    EXPECT_EQ(answer.Header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    const auto& text = answer.Body;

    if (std::string(KSTBELL_PROMTOOL).empty()) {
        std::printf("promtool is not installed (Debian's prometheus): the strict reading only\n");
    } else {
        std::string said;
        EXPECT_EQ(Promtool(text, said), 0) << text;
    }

    // Every sample belongs to a family announced by HELP and TYPE just before it.
    const std::regex sample(
        R"re(^([a-z_]+)(\{([a-z_]+="([^"\\\n]|\\["\\n])*",?)*\})? (-?[0-9.e+]+|\+Inf|NaN)$)re");
    std::map<std::string, std::string> types;
    std::string family;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("# HELP ", 0) == 0) {
            family = line.substr(7, line.find(' ', 7) - 7);
            continue;
        }
        if (line.rfind("# TYPE ", 0) == 0) {
            const auto rest = line.substr(7);
            EXPECT_EQ(rest.substr(0, rest.find(' ')), family) << line;
            types[family] = rest.substr(rest.find(' ') + 1);
            continue;
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, sample)) << line;
        EXPECT_EQ(m[1].str().rfind(family, 0), 0u) << line;
    }
    EXPECT_EQ(types.size(), 10u);
    EXPECT_EQ(types["kstbell_poll_duration_seconds"], "histogram");
    EXPECT_EQ(types["kstbell_rings_total"], "counter");

    for (
        const auto* expected : {
            R"(kstbell_horn_up{address="127.0.78.1",name="Gym \"east\"",id="00:11:22:33:44:00"} 1)",
            R"(kstbell_horn_up{address="127.0.78.3",name="Horn 3",id="00:11:22:33:44:02"} 0)",
            R"(kstbell_horn_rssi_dbm{address="127.0.78.2",name="Horn 2",id="00:11:22:33:44:01"} -41)",
            R"(kstbell_horn_last_poll_timestamp_seconds{address="127.0.78.1",name="Gym \"east\"",id="00:11:22:33:44:00"} 1799308800)",
            "kstbell_poll_duration_seconds_bucket{le=\"0.005\"} 3\n",
            "kstbell_poll_duration_seconds_bucket{le=\"0.05\"} 17\n",
            "kstbell_poll_duration_seconds_bucket{le=\"+Inf\"} 20\n",
            "kstbell_poll_duration_seconds_sum 3.25\nkstbell_poll_duration_seconds_count 20\n",
            "kstbell_rings_total{cause=\"schedule\"} 12\n",
            "kstbell_alarms_total{cause=\"input\"} 1\n",
            "kstbell_bells_total{result=\"fired\"} 12\nkstbell_bells_total{result=\"missed\"} 1\n",
        }) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
    // A horn with no signal reading has no sample rather than a made-up one.
    EXPECT_EQ(text.find(R"(kstbell_horn_rssi_dbm{address="127.0.78.3")"), std::string::npos);
}

TEST(WebMetrics, LabelValuesAreEscaped) {
    EXPECT_EQ(LabelValue("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
    TMetrics metrics;
    metrics.Horns.push_back({"10.0.0.1", "line\nbreak \"quoted\" back\\slash", "", true});
    const auto text = MetricsText(metrics);
    EXPECT_NE(text.find(R"(name="line\nbreak \"quoted\" back\\slash")"), std::string::npos) << text;
    if (!std::string(KSTBELL_PROMTOOL).empty()) {
        std::string said;
        EXPECT_EQ(Promtool(text, said), 0) << text;
    }
}

TEST(WebMetrics, MetricsNeedViewPermissionUnlessConfiguredPublic) {
    TWebFixture closed;
    EXPECT_EQ(closed.Call("GET", "/metrics").Status, 401);
    THttpConfig config;
    config.MetricsPublic = true;
    TWebFixture open(config);
    EXPECT_EQ(open.Call("GET", "/metrics").Status, 200);
    EXPECT_EQ(open.Front().OpenApi()["paths"]["/metrics"]["get"]["x-permission"], "public");
}

}  // namespace
}  // namespace kstbell::web::test
