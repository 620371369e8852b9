// Two programs on one horn: kstbell-bridge polling it as fast as it may while kstbellctl writes
// files and uploads firmware to it. Nothing the bridge sends may land between a header and its
// data; a holder that is killed lets go; a link planted as the lock file is not followed.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "bridge/broker_fixture.h"
#include "device/settings.h"
#include "platform/host_locks_posix.h"
#include "sim/device_simulator.h"

namespace kstbell::mqtt::test {
namespace {

namespace fs = std::filesystem;

struct HostLockProgramTest : ::testing::Test {
    TTempDir dir;
    std::string locks = dir.Path() + "/locks";
    sim::TDeviceSimulator horn{[] {
        sim::TSimOptions o;
        o.BindAddress = "127.0.0.1";
        o.Port = 0;
        return o;
    }()};
    std::optional<TChild> bridge;

    void SetUp() override {
        // Every program started here shares this lock folder.
        setenv("KSTBELL_LOCK_DIR", locks.c_str(), 1);
        horn.Start();
    }
    std::string Port() const { return std::to_string(horn.Port()); }
    // The bridge, polling the horn every 100 ms (its shortest period), with no broker to talk to.
    void StartPoller() {
        const std::string config =
            dir.Write("bridge.toml",
                      "[broker]\nurl = \"mqtt://127.0.0.1:" + std::to_string(FreeLoopbackPort()) +
                          "\"\n[poll]\nperiod_ms = 100\n" + "[devices]\nport = " + Port() +
                          "\naddresses = [\"127.0.0.1\"]\n");
        bridge.emplace(std::vector<std::string>{KSTBELL_BRIDGE_PROGRAM, "--config", config},
                       dir.Path() + "/bridge.log");
        const std::size_t before = horn.Requests().size();
        ASSERT_TRUE(Eventually([&] { return horn.Requests().size() >= before + 5; }));
    }
    int Ctl(std::vector<std::string> args, std::string& out) const {
        std::vector<std::string> argv{KSTBELLCTL_PROGRAM, "-d",   "127.0.0.1",
                                      "--port",           Port(), "--yes"};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunToEnd(argv, out);
    }
    std::string Image(std::size_t bytes) const {
        return dir.Write("image.bin", std::string(bytes, '\x5A'));
    }
    THoldAttempt::TStatus Probe() const {
        TPosixHostLocks probe({{locks, "", true}});
        return probe.TryHold("127.0.0.1", horn.Port(), THoldKind::Shared).Status;
    }
};

TEST_F(HostLockProgramTest, WritesAndFirmwareUnderAPollingBridgeAllLand) {
    StartPoller();
    for (int i = 0; i < 12; ++i) {
        const std::string location = "Hall " + std::to_string(i);
        std::string out;
        ASSERT_EQ(Ctl({"set", "location", location}, out), 0) << out;
        ASSERT_EQ(Ctl({"reboot", "--wait"}, out), 0) << out;
        EXPECT_EQ(horn.Snapshot().Location, location) << "write " << i;
        const auto file = horn.ReadFile(kLocationFile);
        EXPECT_EQ(std::string(file->begin(), file->end()), location) << "write " << i;
    }
    std::string out;
    EXPECT_EQ(Ctl({"--json", "firmware", Image(100000)}, out), 0) << out;
    EXPECT_NE(out.find("\"verified\":true"), std::string::npos) << out;
    bridge->Signal(SIGTERM);
    EXPECT_EQ(bridge->Wait(10s), 0);
}

TEST_F(HostLockProgramTest, AKilledHolderLetsGoAndALinkedLockFileIsNotFollowed) {
    // The upload holds the horn through its pauses; killed there, the system ends the hold.
    TChild upload({KSTBELLCTL_PROGRAM, "-d", "127.0.0.1", "--port", Port(), "--yes", "firmware",
                   Image(100000)},
                  dir.Path() + "/upload.log");
    ASSERT_TRUE(Eventually([&] { return Probe() == THoldAttempt::TStatus::HeldElsewhere; }));
    upload.Signal(SIGKILL);
    EXPECT_EQ(upload.Wait(10s), 128 + SIGKILL);
    EXPECT_EQ(Probe(), THoldAttempt::TStatus::Taken);

    const std::string lock = locks + "/127.0.0.1-" + Port() + ".lock";
    const std::string victim = dir.Path() + "/victim";
    fs::create_symlink(victim, lock);
    horn.ClearRequests();
    std::string out;
    EXPECT_NE(Ctl({"status"}, out), 0) << out;
    EXPECT_NE(out.find(lock + " is a symbolic link"), std::string::npos) << out;
    EXPECT_TRUE(horn.Requests().empty());
    EXPECT_FALSE(fs::exists(victim));
}

}  // namespace
}  // namespace kstbell::mqtt::test
