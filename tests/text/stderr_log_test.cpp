// The standard-error log names its program on every line, each line whole.

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "text/stderr_log.h"

namespace kstbell::text::test {
namespace {

TEST(TextStderrLog, LinesAreWholeAndNamed) {
    testing::internal::CaptureStderr();
    const TLog bridge = StderrLog("kstbell-bridge");
    const TLog service = StderrLog("kstbelld");
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            for (int n = 0; n < 50; ++n)
                (i % 2 ? bridge : service)("line " + std::to_string(i));
        });
    }
    for (auto& t : threads)
        t.join();
    const std::string out = testing::internal::GetCapturedStderr();
    std::size_t lines = 0;
    for (std::size_t at = 0; at < out.size(); ++lines) {
        const auto end = out.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = out.substr(at, end - at);
        EXPECT_TRUE(line == "kstbell-bridge: line 1" || line == "kstbell-bridge: line 3" ||
                    line == "kstbelld: line 0" || line == "kstbelld: line 2")
            << line;
        at = end + 1;
    }
    EXPECT_EQ(lines, 200u);
}

}  // namespace
}  // namespace kstbell::text::test
