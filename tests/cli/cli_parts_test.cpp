// Parts of kstbellctl with rules of their own: the progress line's figures and the workers that
// watch keeps between rounds.

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "cli/progress_line.h"
#include "site/worker_pool.h"

namespace kstbell::cli::test {
namespace {

TEST(CliProgress, TheLineTellsBytesRateAndTimeLeft) {
    struct Case {
        std::uint64_t sent, total;
        double seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, 2097152, 0.0, "firmware: 0 B of 2.0 MiB"},
        {524288, 2097152, 2.0, "firmware: 512 KiB of 2.0 MiB, 256 KiB/s, 6 s left"},
        {1000, 3000, 1.0, "firmware: 1000 B of 3 KiB, 1000 B/s, 2 s left"},
        {2097152, 2097152, 4.0, "firmware: 2.0 MiB of 2.0 MiB, 512 KiB/s"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TProgressLine::Text("firmware", c.sent, c.total, c.seconds), c.text);
}

TEST(CliWorkers, EveryRoundRunsEachJobOnceOnTheSameWorkers) {
    site::TWorkerPool pool(4);
    for (std::size_t count : {0u, 1u, 3u, 100u, 7u}) {
        std::vector<std::atomic<int>> runs(count);
        pool.Run(count, [&](std::size_t i) { ++runs[i]; });
        for (auto& r : runs)
            EXPECT_EQ(r, 1) << count;
    }
}

}  // namespace
}  // namespace kstbell::cli::test
