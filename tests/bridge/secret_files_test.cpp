// Warnings about secret files that others can read.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "bridge/broker_fixture.h"
#include "mqtt/secret_files.h"

namespace kstbell::mqtt {
namespace {

TEST(BridgeSecretFilesTest, AFileOthersOrTheGroupCanReadIsWarnedAbout) {
    struct Case {
        bool password;  // else the key file
        mode_t mode;
        std::string expected;  // after "KEY PATH"; empty: no warning
    };
    const Case cases[] = {
        {true, 0600, ""},
        {false, 0400, ""},
        {false, 0640, " can be read by its group (mode 0640)"},
        {true, 0604, " can be read by others (mode 0604)"},
    };
    for (const auto& c : cases) {
        test::TTempDir dir;
        TBridgeConfig config;
        std::string& path = c.password ? config.PasswordFile : config.KeyFile;
        path = dir.Write("secret", "secret\n");
        (c.password ? config.KeyFile : config.PasswordFile) = dir.Path() + "/absent";
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        const auto warnings = LooseSecretFiles(config);
        ASSERT_EQ(warnings.size(), c.expected.empty() ? 0u : 1u) << c.mode;
        const std::string key = c.password ? "password_file " : "key_file ";
        if (!warnings.empty()) {
            EXPECT_EQ(warnings[0].rfind(key + path + c.expected, 0), 0u) << warnings[0];
        }
    }
}

}  // namespace
}  // namespace kstbell::mqtt
