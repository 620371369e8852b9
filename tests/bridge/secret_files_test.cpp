// Warnings about secret files that others can read.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "bridge/broker_fixture.h"
#include "bridge/secret_files.h"

namespace kstbell::bridge {
namespace {

TEST(BridgeSecretFilesTest, AFileOthersOrTheGroupCanReadIsWarnedAbout) {
    struct Case {
        mode_t passwordMode, keyMode;
        std::vector<std::string> expected;  // in each warning, in order
    };
    const Case cases[] = {
        {0600, 0400, {}},
        {0644, 0600, {"password_file", "can be read by others (mode 0644)"}},
        {0600, 0640, {"key_file", "can be read by its group (mode 0640)"}},
        {0604, 0444, {"password_file", "key_file"}},
    };
    for (const auto& c : cases) {
        test::TTempDir dir;
        TBridgeConfig config;
        config.PasswordFile = dir.Write("password", "secret\n");
        config.KeyFile = dir.Write("bridge.key", "key\n");
        config.CertFile = dir.Path() + "/absent.pem";  // not a secret, not examined
        ASSERT_EQ(chmod(config.PasswordFile.c_str(), c.passwordMode), 0);
        ASSERT_EQ(chmod(config.KeyFile.c_str(), c.keyMode), 0);
        const auto warnings = LooseSecretFiles(config);
        std::string all;
        for (const auto& w : warnings)
            all += w + "\n";
        std::size_t at = 0;
        for (const auto& part : c.expected) {
            at = all.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << " in\n" << all;
        }
        if (c.expected.empty()) {
            EXPECT_TRUE(warnings.empty()) << all;
        }
    }
    TBridgeConfig missing;
    missing.PasswordFile = "/nonexistent/password";
    EXPECT_TRUE(LooseSecretFiles(missing).empty());
}

}  // namespace
}  // namespace kstbell::bridge
