// HOST[:PORT] split with bracketed IPv6, and the port's number.

#include <gtest/gtest.h>

#include <string>

#include "text/host_port.h"

namespace kstbell::text::test {
namespace {

TEST(TextHostPort, TextsAreSplitAtTheirPort) {
    struct TCase {
        std::string Text;
        EHostPortFault Fault;
        std::string Host;
        bool Bracketed;
        bool HasPort;
        std::string Port;
    };
    using enum EHostPortFault;
    const TCase cases[] = {
        {"", None, "", false, false, ""},
        {"broker", None, "broker", false, false, ""},
        {"broker:1883", None, "broker", false, true, "1883"},
        {"broker:", None, "broker", false, true, ""},
        {":1883", None, "", false, true, "1883"},
        {"10.0.0.1:80:81", None, "10.0.0.1", false, true, "80:81"},
        {"::1", None, "", false, true, ":1"},
        {"[::1]", None, "::1", true, false, ""},
        {"[::1]:8786", None, "::1", true, true, "8786"},
        {"[fe80::1]:", None, "fe80::1", true, true, ""},
        {"[]:80", None, "", true, true, "80"},
        {"[::1", UnclosedBracket, "", true, false, ""},
        {"[::1]8786", TextAfterBracket, "::1", true, false, ""},
        {"[::1]]:1", TextAfterBracket, "::1", true, false, ""},
    };
    for (const auto& c : cases) {
        const THostPort split = SplitHostPort(c.Text);
        EXPECT_EQ(split.Fault, c.Fault) << c.Text;
        EXPECT_EQ(split.Host, c.Host) << c.Text;
        EXPECT_EQ(split.Bracketed, c.Bracketed) << c.Text;
        EXPECT_EQ(split.HasPort, c.HasPort) << c.Text;
        EXPECT_EQ(split.Port, c.Port) << c.Text;
    }
}

TEST(TextHostPort, PortsAreDecimalInRange) {
    struct TCase {
        std::string Text;
        unsigned Lowest;
        std::optional<std::uint16_t> Port;
    };
    const TCase cases[] = {
        {"1", 1, 1},
        {"65535", 1, 65535},
        {"8786", 0, 8786},
        {"0", 0, 0},
        {"0", 1, std::nullopt},
        {"65536", 0, std::nullopt},
        {"99999999999", 0, std::nullopt},
        {"", 0, std::nullopt},
        {"-1", 0, std::nullopt},
        {"+80", 0, std::nullopt},
        {" 80", 0, std::nullopt},
        {"80 ", 0, std::nullopt},
        {"80a", 0, std::nullopt},
        {":", 1, std::nullopt},
        {"0x50", 0, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParsePort(c.Text, c.Lowest), c.Port) << c.Text << " from " << c.Lowest;
}

}  // namespace
}  // namespace kstbell::text::test
