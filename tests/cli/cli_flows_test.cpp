// Longer flows: a snapshot saved, changed, compared and applied back; firmware verified and
// refused; watch; and the real program.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>

#include "cli_harness.h"
#include "device/settings.h"

namespace kstbell::cli::test {
namespace {

using namespace std::chrono_literals;

TEST(CliConfig, ASnapshotRoundTripsThroughChangesBytesAndARestart) {
    THorns horns("127.0.95.1", 1);
    const auto target = Join(horns.Target(), {"--json", "--yes"});
    // A location that is not UTF-8 must come back byte for byte.
    const std::string odd("Caf\xE9!", 5);
    ASSERT_EQ(RunCli(Join(target, {"set", "location", odd})).Code, 0);
    ASSERT_EQ(RunCli(Join(target, {"reboot", "--wait"})).Code, 0);
    const std::string file = TempFile("snapshot.json", "");
    auto r = RunCli(Join(target, {"config", "save", file}));
    ASSERT_EQ(r.Code, 0) << r.Out << r.Err;
    EXPECT_EQ(RunCli(Join(target, {"config", "diff", file})).Code, 0);

    ASSERT_EQ(RunCli(Join(target, {"set", "location", "Other"})).Code, 0);
    ASSERT_EQ(RunCli(Join(target, {"set", "modbus", "1502", "30"})).Code, 0);
    ASSERT_EQ(
        RunCli(Join(target, {"set", "static-ip", "10.1.2.3", "255.255.0.0", "10.1.0.1"})).Code, 0);
    // Written but not yet in force: the device reports what it runs with.
    EXPECT_EQ(RunCli(Join(target, {"config", "diff", file})).Code, 0);
    ASSERT_EQ(RunCli(Join(target, {"reboot", "--wait"})).Code, 0);

    r = RunCli(Join(target, {"config", "diff", file}));
    EXPECT_EQ(r.Code, 1);
    const auto diff = r.Lines().at(0)["result"];
    EXPECT_FALSE(diff["same"]);
    std::vector<std::string> settings;
    for (const auto& d : diff["differences"])
        settings.push_back(d["setting"]);
    EXPECT_EQ(settings, (std::vector<std::string>{"location", "modbus", "static_ip"}));
    EXPECT_EQ(diff["differences"][0]["file"], "Caf\xEF\xBF\xBD!");  // U+FFFD for the bad byte

    r = RunCli(Join(target, {"config", "apply", file, "--dry-run"}));
    EXPECT_EQ(r.Code, 0);
    EXPECT_EQ(r.Lines().at(0)["result"]["would_write"].size(), 3u);
    EXPECT_EQ(horns.File(0, kLocationFile), "Other") << "a dry run writes nothing";

    r = RunCli(Join(target, {"config", "apply", file, "--reboot", "--wait"}));
    ASSERT_EQ(r.Code, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Lines().at(0)["result"]["verified"], true);
    EXPECT_TRUE(horns.FileIs(0, kLocationFile, odd));
    EXPECT_TRUE(horns.FileIs(0, kStaticIpFile, "(none)"));
    EXPECT_EQ(RunCli(Join(target, {"config", "diff", file})).Code, 0);
}

TEST(CliConfig, KeysAreSavedOnlyWhenGivenAndNeededToApplyCredentials) {
    THorns horns("127.0.95.11", 1);
    const auto target = Join(horns.Target(), {"--json", "--yes"});
    const std::string key = TempFile("ap.key", "horn-key-1234");
    ASSERT_EQ(RunCli(Join(target, {"set", "ap", "Horn-AP", "--key-file", key})).Code, 0);
    ASSERT_TRUE(horns.FileIs(0, kApSsidFile, "Horn-AP"));
    horns.Site.Restart(0);

    const std::string plain = TempFile("plain.json", "");
    const std::string secret = TempFile("secret.json", "");
    ASSERT_EQ(RunCli(Join(target, {"config", "save", plain})).Code, 0);
    auto r = RunCli(Join(target, {"config", "save", secret, "--ap-key-file", key}));
    ASSERT_EQ(r.Code, 0);
    EXPECT_EQ(r.Lines()[0]["result"]["keys_saved"], nlohmann::json::array({"access_point"}));
    struct stat st {};
    ASSERT_EQ(::stat(secret.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a snapshot with a key is its owner's only";

    ASSERT_EQ(RunCli(Join(target, {"reset-default"})).Code, 0);  // the AP is open again
    // The plain snapshot cannot bring the WPA key back: refused before anything is written.
    r = RunCli(Join(target, {"config", "apply", plain}));
    EXPECT_EQ(r.Code, 1);
    EXPECT_EQ(r.Lines()[0]["error"]["kind"], "invalid_input");
    EXPECT_NE(r.Lines()[0]["error"]["message"].get<std::string>().find("--ap-key-file"),
              std::string::npos);
    EXPECT_TRUE(horns.FileIs(0, kApKeyFile, "(none)"));
    // Given the key, or from the snapshot that holds it, it is written.
    r = RunCli(Join(target, {"config", "apply", secret, "--reboot", "--wait"}));
    ASSERT_EQ(r.Code, 0) << r.Out;
    EXPECT_TRUE(horns.FileIs(0, kApKeyFile, "horn-key-1234"));
    EXPECT_TRUE(horns.FileIs(0, kApSsidFile, "Horn-AP"));
}

std::string Image(std::uint8_t minor) {
    std::string image(4096, '\x5A');
    image += "FWVER=";
    image += '\x01';
    image += static_cast<char>(minor);
    return TempFile("image-" + std::to_string(minor) + ".bin", image);
}

TEST(CliFirmware, AVerifiedImageRestartsTheHornWithItsVersion) {
    THorns horns("127.0.96.1", 1);
    const auto r =
        RunCli(Join(horns.Target(), {"--json", "--yes", "firmware", Image(0x0B), "--wait"}));
    ASSERT_EQ(r.Code, 0) << r.Out << r.Err;
    const auto result = r.Lines().at(0)["result"];
    EXPECT_EQ(result["firmware_before"], "01.0A");
    EXPECT_EQ(result["firmware_after"], "01.0B");
    EXPECT_EQ(result["verified"], true);
    EXPECT_EQ(horns.Site.Snapshot(0).RestartCount, 1) << "the one reset after the confirmation";
    EXPECT_EQ(r.Err.find('\r'), std::string::npos) << "no progress line without a terminal";
}

TEST(CliFirmware, AMismatchingSumIsVerifyFailedAndTheHornIsNotRestarted) {
    sim::TSimFaults corrupt;
    corrupt.CorruptStoredImage = true;
    THorns horns("127.0.96.11", 1, corrupt);
    const auto r =
        RunCli(Join(horns.Target(), {"--json", "--yes", "firmware", Image(0x0C), "--wait"}));
    EXPECT_EQ(r.Code, 5) << r.Out;
    const auto error = r.Lines().at(0)["error"];
    EXPECT_EQ(error["kind"], "verify_failed");
    EXPECT_NE(error["device_sum"], error["image_sum"]);
    EXPECT_EQ(horns.Site.Snapshot(0).RestartCount, 0);
}

// An output stream that a test may read while another thread writes whole lines to it.
class TSharedOut : public std::stringbuf {
  public:
    std::string Text() {
        std::lock_guard lock(mutex_);
        return str();
    }

  protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard lock(mutex_);
        return std::stringbuf::xsputn(s, n);
    }
    int_type overflow(int_type c) override {
        std::lock_guard lock(mutex_);
        return std::stringbuf::overflow(c);
    }

  private:
    std::recursive_mutex mutex_;  // xsputn may call overflow
};

bool Eventually(const std::function<bool()>& done) {
    for (auto until = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(20ms))
        if (done()) return true;
    return false;
}

TEST(CliWatch, ReportsOnlineChangesAndOfflineUntilStopped) {
    THorns horns("127.0.97.1", 2);
    TSharedOut buffer;
    std::ostream out(&buffer);
    std::ostringstream err;
    std::atomic<bool> stop{false};
    TRunEnv env = TestEnv();
    env.Stop = &stop;
    const auto args = Join(horns.Target(), {"--json", "watch", "--interval", "100"});
    std::vector<const char*> argv{"kstbellctl"};
    for (const auto& a : args)
        argv.push_back(a.c_str());
    auto watching = std::async(std::launch::async, [&] {
        return cli::Run(static_cast<int>(argv.size()), argv.data(), out, err, env);
    });
    const auto count = [&](const std::string& part) {
        std::size_t n = 0;
        const std::string text = buffer.Text();
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++n;
        return n;
    };
    EXPECT_TRUE(Eventually([&] { return count("\"event\":\"online\"") == 2; })) << buffer.Text();
    horns.Site.SetInput(0, 1);
    EXPECT_TRUE(Eventually([&] { return count("\"changed\":[\"input\"]") == 1; })) << buffer.Text();
    horns.Site.StopHorn(1);
    EXPECT_TRUE(Eventually([&] { return count("\"event\":\"offline\"") == 1; })) << buffer.Text();
    horns.Site.StartHorn(1);
    EXPECT_TRUE(Eventually([&] { return count("\"event\":\"online\"") == 3; })) << buffer.Text();
    stop = true;
    ASSERT_EQ(watching.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(watching.get(), 0);
    EXPECT_EQ(count("\"event\":\"change\""), 1u) << "nothing else changed: " << buffer.Text();
}

TEST(CliProgram, TheProgramRunsAVerbOnItsSimulatedHorn) {
    const std::string command = std::string(KSTBELLCTL_PATH) + " --simulate --json status 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string text;
    char buf[512];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        text.append(buf, n);
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << text;
    const auto line = nlohmann::json::parse(text, nullptr, false);
    ASSERT_FALSE(line.is_discarded()) << text;
    EXPECT_EQ(line["device"], "127.0.77.1");
    EXPECT_EQ(line["result"]["output"], 0);

    pipe =
        ::popen((std::string(KSTBELLCTL_PATH) + " --simulate reboot </dev/null 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    while (std::fread(buf, 1, sizeof buf, pipe) > 0) {
    }
    const int refused = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(refused), 2) << "no terminal, no --yes";
}

}  // namespace
}  // namespace kstbell::cli::test
