#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/relay_log.h"
#include "sim/simulated_site.h"
#include "sim_client.h"

namespace kstbell::sim::test {
namespace {

using TWallClock = std::chrono::system_clock;

long long MicrosecondsOf(TWallClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

TEST(SimRelayLog, OneStampedLinePerChangeOfARelay) {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("kstbell-relay-log-" + std::to_string(::getpid()));
    std::filesystem::remove(path);
    TSiteOptions options;
    options.Horns.BindAddress = "127.0.78.1";
    options.Horns.Port = 0;
    options.Horns.RelayLogPath = path.string();
    options.Count = 2;
    TSimulatedSite site(options);
    site.Start();
    const auto ask = [&](std::size_t horn, const TBytes& request) {
        return Exchange(TTarget{site.Address(horn), site.Port(), {}}, request).Reply;
    };

    struct Step {
        const char* what;
        std::size_t horn;
        std::optional<TBytes> setOutput;  // empty: restart the horn
        const char* line;                 // the line it adds after the stamp; null for none
    };
    const Step steps[] = {
        {"on with a tone", 0, TBytes{1, 1, 2}, "127.0.78.1 1 2"},
        {"on again: no change", 0, TBytes{1, 1, 3}, nullptr},
        {"the other horn", 1, TBytes{1, 1, 0}, "127.0.78.2 1 0"},
        {"off", 0, TBytes{1, 0, 0}, "127.0.78.1 0 0"},
        {"off again", 0, TBytes{1, 0, 0}, nullptr},
        {"another value is on too", 0, TBytes{1, 5, 1}, "127.0.78.1 5 1"},
        {"a restart drops the relay", 0, std::nullopt, "127.0.78.1 0 0"},
        {"a restart with the relay off", 0, std::nullopt, nullptr},
        {"the short form: off without a tone", 1, TBytes{0, 0}, "127.0.78.2 0 0"},
    };
    std::vector<std::string> expected;
    const long long before = MicrosecondsOf(TWallClock::now());
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.setOutput) {
            ASSERT_EQ(ask(s.horn, Frame(208, *s.setOutput)).at(5), 6);
        } else {
            site.Restart(s.horn);
        }
        if (s.line) expected.push_back(s.line);
    }
    const long long after = MicrosecondsOf(TWallClock::now());
    site.Stop();

    std::ifstream in(path);
    std::string line;
    std::vector<std::string> seen;
    long long previous = before;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long long stamp = 0;
        fields >> stamp;
        EXPECT_GE(stamp, previous) << line;  // wall-clock stamps in the order of the changes
        EXPECT_LE(stamp, after) << line;
        previous = stamp;
        seen.push_back(line.substr(line.find(' ') + 1));
    }
    EXPECT_EQ(seen, expected);
    std::filesystem::remove(path);
}

TEST(SimRelayLog, AFileThatCannotBeOpenedStopsTheSiteBeforeItServes) {
    TSiteOptions options;
    options.Horns.Port = 0;
    options.Horns.RelayLogPath = "/nonexistent-kstbell-folder/relay.log";
    EXPECT_THROW(TSimulatedSite{options}, std::runtime_error);
    EXPECT_EQ(RelayLogLine(TWallClock::time_point(std::chrono::microseconds(1796866200004187)),
                           "127.0.78.1", 1, 3),
              "1796866200004187 127.0.78.1 1 3\n");
}

}  // namespace
}  // namespace kstbell::sim::test
