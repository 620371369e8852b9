// The session set that drives many devices, and the device lists it is given.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "platform/survey_simulated.h"
#include "site/device_list.h"
#include "site/session_set.h"

namespace kstbell::site {
namespace {

TEST(DeviceListTest, AddressesAndRangesExpandOrAreRefused) {
    struct Case {
        std::string text;
        std::size_t count;
        std::string first, last;
    };
    const Case good[] = {
        {"127.0.78.001", 1, "127.0.78.1", "127.0.78.1"},
        {"127.0.78.0/24", 254, "127.0.78.1", "127.0.78.254"},
        {"127.0.78.77/24", 254, "127.0.78.1", "127.0.78.254"},
        {"127.0.78.4/30", 2, "127.0.78.5", "127.0.78.6"},
        {"127.0.78.4/31", 2, "127.0.78.4", "127.0.78.5"},
        {"127.0.78.4/32", 1, "127.0.78.4", "127.0.78.4"},
        {"127.0.0.0/16", 65534, "127.0.0.1", "127.0.255.254"},
    };
    for (const auto& c : good) {
        std::vector<std::string> out;
        std::string error;
        ASSERT_TRUE(ExpandTarget(c.text, out, error)) << c.text << ": " << error;
        EXPECT_EQ(out.size(), c.count) << c.text;
        EXPECT_EQ(out.front(), c.first) << c.text;
        EXPECT_EQ(out.back(), c.last) << c.text;
    }
    for (const std::string bad : {"", "horn", "1.2.3", "1.2.3.256", "1.2.3.4/33", "1.2.3.4/",
                                  "1.2.3.4/x", "10.0.0.0/15", "1.2.3.4/-1"}) {
        std::vector<std::string> out;
        std::string error;
        EXPECT_FALSE(ExpandTarget(bad, out, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_TRUE(out.empty()) << bad;
    }
}

TEST(SessionSetTest, RunsEveryDeviceOnceWithAtMostParallelAtOnceOnWorkersThatStay) {
    std::vector<std::string> addresses;
    for (int i = 1; i <= 40; ++i)
        addresses.push_back("127.0.99." + std::to_string(i));
    TSimulatedHostNetwork network("127.0.99.200", {});
    TSessionOptions options;
    options.Parallel = 7;
    TSessionSet sessions(addresses, options, network);
    std::atomic<int> busy{0}, peak{0}, runs{0};
    std::vector<std::atomic<int>> seen(addresses.size());
    std::mutex idsMutex;
    std::set<std::thread::id> firstRound, secondRound;
    sessions.ForEach([&](std::size_t i) {
        {
            const std::lock_guard lock(idsMutex);
            firstRound.insert(std::this_thread::get_id());
        }
        const int now = ++busy;
        int before = peak.load();
        while (now > before && !peak.compare_exchange_weak(before, now)) {
        }
        ++seen[i];
        ++runs;
        EXPECT_EQ(sessions.Session(i).Link.DeviceIp, addresses[i]);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        --busy;
    });
    EXPECT_EQ(runs, 40);
    for (auto& s : seen)
        EXPECT_EQ(s, 1);
    EXPECT_LE(peak, 7);
    EXPECT_GE(peak, 2);

    // The next round runs on the same threads: none is started per call.
    sessions.ForEach([&](std::size_t) {
        const std::lock_guard lock(idsMutex);
        secondRound.insert(std::this_thread::get_id());
    });
    for (const auto& id : secondRound)
        EXPECT_TRUE(firstRound.count(id)) << "a thread that was not there in the first round";
}

}  // namespace
}  // namespace kstbell::site
