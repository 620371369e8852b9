#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/device_simulator.h"
#include "sim_client.h"

namespace kstbell::sim::test {
namespace {

class SimFiles : public ::testing::Test {
  protected:
    SimFiles() : sim_(LoopbackOptions()) { sim_.Start(); }

    TBytes Ask(const TBytes& request) { return Exchange(sim_.Port(), request).Reply; }

    // Writes a file the way the desktop program does and waits until the device has it.
    void Write(const std::string& path, const TBytes& content) {
        const TExchange header = WriteFile(sim_.Port(), path, content);
        ASSERT_EQ(header.Reply, (TBytes{0x5A, 0x35, 0x77, 0xA5, 95, 6}));
        ASSERT_TRUE(WaitFor([&] { return sim_.ReadFile(path) == content; })) << path;
    }

    std::string Location() {
        const TBytes info = Ask(Frame(33, {0, 0}));
        return std::string(reinterpret_cast<const char*>(&info[40]));
    }

    TDeviceSimulator sim_;
};

TEST_F(SimFiles, DataConnectionStoresExactlyTheAnnouncedBytes) {
    Write("/local/locate.cfg", AsBytes("abc"));
    const auto requests = sim_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[0].DataConnection);
    EXPECT_TRUE(requests[1].DataConnection);
    EXPECT_EQ(requests[1].Bytes, AsBytes("abc"));

    // Two pieces of 1024 and 476 bytes.
    TBytes content(1500);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i * 7);
    Write("/local/big.bin", content);

    // Length 0: the data connection opens and closes, the file exists and is empty.
    Write("/local/ap_key.cfg", {});
    EXPECT_EQ(sim_.ReadFile("/local/ap_key.cfg"), TBytes{});
}

TEST_F(SimFiles, FirmwareHeadersStoreTheImageAndItsSumIsReported) {
    TBytes image(100000);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i % 251);

    // Supported model: 40-byte header 95 with the full path, sent without waiting, then the
    // image on a connection of its own.
    SendOnly(sim_.Port(), FileHeader(95, image.size(), Sum(image), "/sys/mcuimg.bin", 40));
    Exchange(sim_.Port(), image, 3000, 1024);
    ASSERT_TRUE(WaitFor([&] { return sim_.ReadFile("/sys/mcuimg.bin") == image; }));

    const TBytes checksum = Ask(Frame(37, {0, 0, 0, 0}));
    ASSERT_EQ(checksum.size(), 10u);
    const std::uint32_t sum = Sum(image);
    EXPECT_EQ(TBytes(checksum.begin() + 6, checksum.end()),
              (TBytes{static_cast<std::uint8_t>(sum >> 24), static_cast<std::uint8_t>(sum >> 16),
                      static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)}));

    // Any other model: plain header 90 names the image without its folder.
    SendOnly(sim_.Port(), FileHeader(90, 3, Sum(AsBytes("abc")), "mcuimg.bin", 40));
    Exchange(sim_.Port(), AsBytes("abc"));
    ASSERT_TRUE(WaitFor([&] { return sim_.ReadFile("/sys/mcuimg.bin") == AsBytes("abc"); }));
    EXPECT_EQ(Ask(Frame(37, {0, 0, 0, 0}))[9], 0x26);
}

TEST_F(SimFiles, KillFileRemovesOnlyTheNamedFile) {
    Write("/local/sta_ip.cfg", TBytes(12, 1));
    Write("/local/locate.cfg", AsBytes("Lab"));
    EXPECT_EQ(Ask(KillFile("/local/sta_ip.cfg")), (TBytes{0x5A, 0x35, 0x77, 0xA5, 93, 6}));
    EXPECT_FALSE(sim_.ReadFile("/local/sta_ip.cfg"));
    EXPECT_TRUE(sim_.ReadFile("/local/locate.cfg"));
    // Deleting what is not there is still accepted.
    EXPECT_EQ(Ask(KillFile("/local/sta_ip.cfg"))[5], 6);
}

TEST_F(SimFiles, PathsLeavingTheFileSystemAreRefused) {
    EXPECT_EQ(Ask(FileHeader(95, 3, 294, "/local/../../etc/x"))[5], 0x15);
    // No upload is pending: the next connection is an ordinary request again.
    EXPECT_EQ(Ask(Frame(216)).size(), 13u);
    EXPECT_EQ(Ask(FileHeader(95, 3, 294, "local/x"))[5], 0x15);
    EXPECT_EQ(Ask(KillFile("/local/.."))[5], 0x15);
    EXPECT_TRUE(sim_.Files().empty());
}

TEST_F(SimFiles, ConfigurationFilesTakeEffectOnlyAfterARestart) {
    Write("/local/locate.cfg", AsBytes("Lab"));
    Write("/local/ap_ssid.cfg", AsBytes("HORN-AP"));
    Write("/local/ap_key.cfg", AsBytes("secret99"));
    Write("/local/sta_ssid.cfg", AsBytes("plant"));
    Write("/local/sta_keyT.cfg", {1});
    Write("/local/sta_ip.cfg", {192, 168, 1, 20, 255, 255, 255, 0, 192, 168, 1, 1});
    Write("/local/mbport.cfg", {0x01, 0xF6, 0x00, 0x1E, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Location(), "Office");
    EXPECT_EQ(sim_.Snapshot().Location, "Office");

    sim_.Restart();
    EXPECT_EQ(sim_.Snapshot().RestartCount, 1);
    EXPECT_EQ(sim_.Snapshot().Location, "Lab");
    const TBytes info = Ask(Frame(33, {0, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[40])), "Lab");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[80])), "HORN-AP");
    EXPECT_EQ(info[112], 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&info[128])), "plant");
    EXPECT_EQ(info[160], 1);
    EXPECT_EQ(info[181], 1);
    EXPECT_EQ(TBytes(info.begin() + 182, info.begin() + 194),
              (TBytes{192, 168, 1, 20, 255, 255, 255, 0, 192, 168, 1, 1}));
    EXPECT_EQ(info[179] * 256 + info[180], 502);
    EXPECT_EQ(info[36] * 256 + info[37], 30);

    // Malformed files fall back to the defaults.
    Write("/local/mbport.cfg", {0x01, 0xF6});
    Write("/local/sta_ip.cfg", {1, 2, 3});
    Write("/local/locate.cfg", TBytes(32, 'x'));
    sim_.Restart();
    const TBytes fallback = Ask(Frame(33, {0, 0}));
    EXPECT_EQ(fallback[36] * 256 + fallback[37], 120);
    EXPECT_EQ(fallback[181], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&fallback[40])), "Office");
}

TEST_F(SimFiles, KillConfigRestoresFactorySettingsAndRestarts) {
    Write("/local/locate.cfg", AsBytes("Lab"));
    Write("/local/ap_key.cfg", AsBytes("secret99"));
    Write("/sys/mcuimg.bin", AsBytes("image"));
    EXPECT_EQ(Ask(Frame(48, {0}))[5], 6);  // station mode, kept in flash
    sim_.Restart();
    ASSERT_EQ(Location(), "Lab");

    EXPECT_EQ(Ask(Frame(94, {1})), (TBytes{0x5A, 0x35, 0x77, 0xA5, 94, 6}));
    EXPECT_EQ(sim_.Snapshot().RestartCount, 3);
    EXPECT_EQ(Location(), "Office");
    const auto files = sim_.Files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.begin()->first, "/sys/mcuimg.bin");
    const TBytes info = Ask(Frame(33, {0, 0}));
    EXPECT_EQ(info[112], 0);
    EXPECT_EQ(info[176], 2);
}

TEST(SimStateDir, FilesOutliveTheSimulator) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kstbell-sim-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    TSimOptions options = LoopbackOptions();
    options.StateDir = dir.string();
    {
        TDeviceSimulator first(options);
        first.Start();
        WriteFile(first.Port(), "/local/locate.cfg", AsBytes("Attic"));
        WriteFile(first.Port(), "/local/sta_ip.cfg", TBytes(12, 9));
        ASSERT_TRUE(WaitFor([&] { return first.Files().size() == 2; }));
        Exchange(first.Port(), KillFile("/local/sta_ip.cfg"));
        EXPECT_EQ(first.Snapshot().Location, "Office");
    }
    std::ifstream mirrored(dir / "local" / "locate.cfg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mirrored), {}), "Attic");

    TDeviceSimulator second(options);
    second.Start();
    EXPECT_EQ(second.ReadFile("/local/locate.cfg"), AsBytes("Attic"));
    EXPECT_FALSE(second.ReadFile("/local/sta_ip.cfg"));
    // Loaded at start, so it is the running location at once.
    EXPECT_EQ(second.Snapshot().Location, "Attic");
    second.Stop();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kstbell::sim::test
