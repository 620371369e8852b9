#pragma once

// The table that each program's command-line test runs: the words given, the exit status
// expected, and a part of what must stand on standard output or standard error. A usage mistake
// writes only to standard error; help and version only to standard output.

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace kstbell::line_test {

struct TProgramLineCase {
    std::vector<std::string> Args;
    int Exit;
    std::string Out;  // in standard output
    std::string Err;  // in standard error (nothing there when empty)
};

// parse(args, out, err) returns the exit status, or nothing when the program is to go on.
template <class TParse>
void ExpectProgramLines(const std::vector<TProgramLineCase>& cases, TParse parse) {
    for (const auto& c : cases) {
        std::ostringstream out, err;
        const std::optional<int> exit = parse(c.Args, out, err);
        const std::string args = testing::PrintToString(c.Args);
        ASSERT_TRUE(exit.has_value()) << args;
        EXPECT_EQ(*exit, c.Exit) << args;
        EXPECT_NE(out.str().find(c.Out), std::string::npos) << args << "\n" << out.str();
        if (c.Err.empty()) {
            EXPECT_EQ(err.str(), "") << args;
        } else {
            EXPECT_EQ(out.str(), "") << args;
            EXPECT_NE(err.str().find(c.Err), std::string::npos) << args << "\n" << err.str();
        }
    }
}

}  // namespace kstbell::line_test
