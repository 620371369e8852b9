// The reader of the TOML files: each value type, what it takes and what it refuses with which
// reason; the line and key every mistake carries; mistakes in line order.

#include <gtest/gtest.h>

#include <functional>

#include "config/reader.h"

namespace kstbell::config {
namespace {

using namespace std::chrono;

const std::string kFile = "/etc/kstbell/site.toml";

// What a read gave, as text: the value, or "" when it was refused.
template <typename T>
std::string Shown(const std::optional<T>& value, const std::function<std::string(const T&)>& show) {
    return value ? show(*value) : "";
}

std::string Number(std::int64_t n) {
    return std::to_string(n);
}

const std::string kBadTime =
    "must be a time of day, \"HH:MM\" or \"HH:MM:SS\" from 00:00 to 23:59:59";

TEST(ConfigReaderTest, EachTypeTakesItsValuesAndRefusesTheRest) {
    using TRead = std::function<std::string(TReader&, const toml::node&)>;
    const TRead string = [](TReader& r, const toml::node& n) {
        return Shown<std::string>(r.String(n, "k"), [](auto& s) { return "'" + s + "'"; });
    };
    const TRead text = [](TReader& r, const toml::node& n) {
        return Shown<std::string>(r.Text(n, "k"), [](auto& s) { return s; });
    };
    const TRead flag = [](TReader& r, const toml::node& n) {
        return Shown<bool>(r.Bool(n, "k"), [](bool b) { return b ? "yes" : "no"; });
    };
    const TRead integer = [](TReader& r, const toml::node& n) {
        return Shown<std::int64_t>(r.Integer(n, "k", -5, 10), Number);
    };
    const TRead port = [](TReader& r, const toml::node& n) {
        return Shown<std::uint16_t>(r.Integer<std::uint16_t>(n, "k", 1, 65535),
                                    [](auto p) { return Number(p); });
    };
    const TRead hold = [](TReader& r, const toml::node& n) {
        return Shown<milliseconds>(r.Duration<milliseconds>(n, "k", 0, 60000),
                                   [](auto d) { return Number(d.count()) + "ms"; });
    };
    const TRead date = [](TReader& r, const toml::node& n) {
        return Shown<year_month_day>(r.Date(n, "k"), [](auto d) {
            return Number(int(d.year())) + "/" + Number(unsigned(d.month())) + "/" +
                   Number(unsigned(d.day()));
        });
    };
    const TRead time = [](TReader& r, const toml::node& n) {
        return Shown<seconds>(r.TimeOfDay(n, "k"), [](auto s) { return Number(s.count()) + "s"; });
    };
    const TRead path = [](TReader& r, const toml::node& n) {
        return Shown<std::string>(r.Path(n, "k"), [](auto& s) { return s; });
    };
    const TRead table = [](TReader& r, const toml::node& n) {
        return r.Table(n, "k") ? std::string("table") : "";
    };
    const TRead array = [](TReader& r, const toml::node& n) {
        const auto* a = r.Array(n, "k", "must be a list of horns");
        return a ? Number(static_cast<std::int64_t>(a->size())) + " items" : "";
    };
    const TRead list = [](TReader& r, const toml::node& n) {
        const auto* a = r.List(n, "k", "must be a list of horns");
        return a ? Number(static_cast<std::int64_t>(a->size())) + " items" : "";
    };
    const struct {
        const char* Type;
        const TRead& Read;
        std::string Value;   // TOML
        std::string Gives;   // what was read; "" when refused
        std::string Reason;  // of the one mistake; "" for none
    } cases[] = {
        {"string", string, R"("")", "''", ""},
        {"string", string, R"("Hall")", "'Hall'", ""},
        {"string", string, "3", "", "must be a string"},
        {"text", text, R"("Hall")", "Hall", ""},
        {"text", text, R"("")", "", "must be a text that is not empty"},
        {"text", text, "[\"Hall\"]", "", "must be a text that is not empty"},
        {"bool", flag, "false", "no", ""},
        {"bool", flag, "\"true\"", "", "must be true or false"},
        {"bool", flag, "1", "", "must be true or false"},
        {"integer", integer, "-5", "-5", ""},
        {"integer", integer, "10", "10", ""},
        {"integer", integer, "11", "", "must be an integer from -5 to 10"},
        {"integer", integer, "-6", "", "must be an integer from -5 to 10"},
        {"integer", integer, "2.0", "", "must be an integer from -5 to 10"},
        {"integer", integer, "\"3\"", "", "must be an integer from -5 to 10"},
        {"port", port, "65535", "65535", ""},
        {"port", port, "65536", "", "must be an integer from 1 to 65535"},
        {"port", port, "0", "", "must be an integer from 1 to 65535"},
        {"duration", hold, "250", "250ms", ""},
        {"duration", hold, "60001", "", "must be an integer from 0 to 60000"},
        {"date", date, "2028-02-29", "2028/2/29", ""},
        {"date", date, "\"2027-12-31\"", "2027/12/31", ""},
        {"date", date, "\"2027-02-29\"", "", "must be a date that exists, \"YYYY-MM-DD\""},
        {"date", date, "\"2027-2-28\"", "", "must be a date that exists, \"YYYY-MM-DD\""},
        {"date", date, "2027-02-28T08:00:00", "", "must be a date that exists, \"YYYY-MM-DD\""},
        {"time", time, "\"08:00\"", "28800s", ""},
        {"time", time, "\"23:59:59\"", "86399s", ""},
        {"time", time, "13:15:30", "47730s", ""},
        {"time", time, "13:15:30.5", "", kBadTime},
        {"time", time, "\"24:00\"", "", kBadTime},
        {"time", time, "\"8:00\"", "", kBadTime},
        {"time", time, "\"08:60\"", "", kBadTime},
        {"time", time, "800", "", kBadTime},
        {"path", path, "\"tls/../ca.pem\"", "/etc/kstbell/ca.pem", ""},
        {"path", path, "\"/srv/ca.pem\"", "/srv/ca.pem", ""},
        {"path", path, "\"\"", "", "must not be empty"},
        {"path", path, "5", "", "must be a string"},
        {"table", table, "{ a = 1 }", "table", ""},
        {"table", table, "[1]", "", "must be a table ([k])"},
        {"array", array, "[]", "0 items", ""},
        {"array", array, "\"10.0.0.1\"", "", "must be a list of horns"},
        {"list", list, "[\"a\", \"b\"]", "2 items", ""},
        {"list", list, "[]", "", "must be a list of horns"},
    };
    for (const auto& c : cases) {
        // On the third line, so that the line each mistake carries is the value's.
        const toml::table root = toml::parse("# a site\n\nk = " + c.Value + "\n", kFile);
        std::vector<TError> errors;
        TReader reader(kFile, errors);
        const std::string got = c.Read(reader, *root.get("k"));
        const std::string what = std::string(c.Type) + " " + c.Value;
        EXPECT_EQ(got, c.Gives) << what;
        if (c.Reason.empty()) {
            EXPECT_TRUE(errors.empty()) << what << ": " << errors.front().Reason;
            continue;
        }
        ASSERT_EQ(errors.size(), 1u) << what;
        EXPECT_EQ(FormatError(errors[0]), kFile + ":3: key 'k': " + c.Reason) << what;
    }
}

TEST(ConfigReaderTest, MistakesAreFormattedInLineOrder) {
    // Unknown, Missing and FailAt, then sorted: same-line mistakes keep the order found.
    const toml::table root = toml::parse("[a]\nx = 1\ny = 2\n[b]\nz = 3\n", kFile);
    std::vector<TError> errors;
    TReader reader(kFile, errors);
    reader.Unknown(*root["b"]["z"].node(), "b.z");
    reader.Missing(*root.get("a"), "a.name");
    reader.Unknown(*root["a"]["y"].node(), "a.y", "x and name are");
    reader.FailAt(1, "a", "second on line 1");
    reader.Fail(*root["a"]["x"].node(), "a.x", "too small");
    EXPECT_EQ(reader.ErrorCount(), 5u);
    SortByLine(errors);
    EXPECT_EQ(FormatErrors(errors), (std::vector<std::string>{
                                        kFile + ":1: key 'a.name': is missing",
                                        kFile + ":1: key 'a': second on line 1",
                                        kFile + ":2: key 'a.x': too small",
                                        kFile + ":3: key 'a.y': unknown key (x and name are)",
                                        kFile + ":5: key 'b.z': unknown key",
                                    }));
}

TEST(ConfigReaderTest, TheParserNamesTheLineOrWhyTheFileCannotBeRead) {
    std::string error;
    EXPECT_FALSE(ParseText("[a]\nx = = 1\n", kFile, error).has_value());
    EXPECT_EQ(error.rfind(kFile + ":2: ", 0), 0u) << error;
    EXPECT_TRUE(ParseText("x = 1\n", kFile, error).has_value());

    const std::string missing = "/nonexistent/kstbell/site.toml";
    EXPECT_FALSE(ParseFile(missing, error).has_value());
    EXPECT_EQ(error.rfind(missing + ": cannot be read: ", 0), 0u) << error;
}

}  // namespace
}  // namespace kstbell::config
