// The firmware upload against the in-process simulator, with the pauses recorded, not waited.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "device/firmware_update.h"
#include "shell/setup_commits.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

struct FirmwareTest : ::testing::Test {
    TSimBench b;
    TContext& ctx = b.Ctx;
    fs::path dir = fs::temp_directory_path() / ("kstbell-fw-" + std::to_string(::getpid()));

    void SetUp() override {
        fs::create_directories(dir);
        ctx.Session.Flags.SupportedModel = true;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Writes an image file and has the dialog choose it.
    std::string Choose(const Bytes& image, const std::string& name = "image.bin") {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        b.Host.FileAnswers.push_back(path.string());
        return path.string();
    }
    std::vector<std::string> Statuses;
    std::vector<sim::TSimRequest> Requests(std::size_t expected) const {
        WaitUntil([&] { return b.Sim.Requests().size() >= expected; }, std::chrono::seconds(2));
        return b.Sim.Requests();
    }
};

Bytes Pattern(std::size_t n) {
    Bytes image(n);
    for (std::size_t i = 0; i < n; ++i)
        image[i] = static_cast<std::uint8_t>(i * 13 + 7);
    return image;
}

TEST_F(FirmwareTest, SmallImageHeaderAndSum) {
    Choose({'a', 'b', 'c'});
    UpdateFirmware(ctx);
    ASSERT_EQ(b.Host.FileDialogs.size(), 1u);
    EXPECT_EQ(b.Host.FileDialogs[0], (std::pair<std::string, std::string>{"bin|*.bin", "*.bin"}));
    const auto requests = Requests(3);
    Bytes header(40, 0);
    const Bytes head{0x5A, 0x35, 0x77, 0xA5, 0x5F, 0, 0, 0, 3, 0, 0, 0x01, 0x26, 0, 0, 0, 15};
    std::copy(head.begin(), head.end(), header.begin());
    std::memcpy(header.data() + 17, "/sys/mcuimg.bin", 15);
    EXPECT_EQ(requests.at(0).Bytes, header);
    EXPECT_EQ(requests.at(1).Bytes, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ(requests.at(2).Bytes, (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x25, 0, 0, 0x01, 0x26}));
    EXPECT_EQ(ctx.Session.ImageSum, 0x126u);
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{3000, 2000}));
    ASSERT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_EQ(b.Host.Boxes[0].Text, "F/W update Complete! Reboot to take effect");
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "F/W update Complete! Reboot to take effect");
}

TEST_F(FirmwareTest, SumTextHasEightHexDigits) {
    Choose({'a', 'b', 'c'});
    std::vector<std::string> shown;
    b.Host.OnPump = [&] { shown.push_back(ctx.Form1.StatusBar2.Panels[0]); };
    UpdateFirmware(ctx);
    EXPECT_NE(std::find(shown.begin(), shown.end(), "Send MCUImg CheckSum => 00000126"),
              shown.end());
}

TEST_F(FirmwareTest, LargestImageUploadsVerifiesAndResetsOnceAfterTheBox) {
    const Bytes image = Pattern(2'097'152);
    Choose(image);
    int restartsDuringBox = -1;
    b.Host.OnBox = [&] { restartsDuringBox = b.Sim.Snapshot().RestartCount; };
    UpdateFirmware(ctx);
    EXPECT_TRUE(SimFileIs(b.Sim, "/sys/mcuimg.bin", image));
    ASSERT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_EQ(b.Host.Boxes[0].Text, "F/W update Complete! Reboot to take effect");
    EXPECT_EQ(restartsDuringBox, 0);
    ASSERT_TRUE(WaitUntil([&] { return b.Sim.Snapshot().RestartCount == 1; }));
    EXPECT_EQ(b.Sim.Requests().back().Bytes, (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x2D}));
    EXPECT_EQ(ctx.Form2.CGauge1.MaxValue, 2'097'152 - 1024);
    EXPECT_EQ(ctx.Form2.CGauge1.Progress, 2'097'152 - 1024);  // the start of the last piece
    EXPECT_EQ(b.Host.Repaints, 32);                           // every 64th piece
}

TEST_F(FirmwareTest, CorruptedImageFailsVerificationAndIsNotRestarted) {
    sim::TSimFaults faults;
    faults.CorruptStoredImage = true;
    b.Sim.SetFaults(faults);
    Choose(Pattern(5000));
    UpdateFirmware(ctx);
    ASSERT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_EQ(b.Host.Boxes[0].Text, "Update F/W fail with Error! Please retry again.");
    EXPECT_EQ(b.Host.Boxes[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "Update F/W fail with Error! Please retry again.");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(b.Sim.Snapshot().RestartCount, 0);
    EXPECT_EQ(b.Sim.Requests().back().Bytes[4], CMD_GET_IMAGE_CHECKSUM);
}

TEST_F(FirmwareTest, NewFirmwareRunsAfterTheRestartThatFollowsIt) {
    Bytes image = Pattern(3000);
    const std::string marker = "FWVER=";
    std::copy(marker.begin(), marker.end(), image.begin() + 100);
    image[106] = 0x02;
    image[107] = 0x01;
    Choose(image);
    UpdateFirmware(ctx);
    ASSERT_TRUE(WaitUntil([&] { return b.Sim.Snapshot().RestartCount == 1; }));
    RequestDeviceInfo(ctx.Session);
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[1], "FW: V02.01");
}

TEST_F(FirmwareTest, OneByteTooLongIsRefusedWithNothingSent) {
    ctx.Session.ImageSum = 77;
    Choose(Bytes(2'097'153, 1));
    std::vector<std::string> shown;
    b.Host.OnPump = [&] { shown.push_back(ctx.Form1.StatusBar2.Panels[0]); };
    UpdateFirmware(ctx);
    EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0], "File Lengths > Buffer Size, Abort!");
    EXPECT_TRUE(b.Sim.Requests().empty());
    EXPECT_EQ(ctx.Session.ImageSum, 77u);
    EXPECT_TRUE(b.Host.Boxes.empty());
}

TEST_F(FirmwareTest, EmptyAndOddSizedImages) {
    // An empty image would leave the device without firmware: refused, nothing sent.
    Choose({});
    UpdateFirmware(ctx);
    ASSERT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_NE(b.Host.Boxes[0].Text.find("is empty"), std::string::npos);
    EXPECT_TRUE(b.Sim.Requests().empty());
    EXPECT_EQ(b.Sim.Snapshot().RestartCount, 0);

    const Bytes image = Pattern(1500);
    Choose(image);
    UpdateFirmware(ctx);
    EXPECT_EQ(ctx.Form2.CGauge1.MaxValue, 476);
    EXPECT_EQ(ctx.Form2.CGauge1.Progress, 1024);
    EXPECT_EQ(Requests(3).at(1).Bytes, image);
}

TEST_F(FirmwareTest, OtherModelGetsThePlainHeaderAndOnlyANotice) {
    ctx.Session.Flags.SupportedModel = false;
    Choose({'x', 'y'});
    UpdateFirmware(ctx);
    const auto requests = Requests(3);
    EXPECT_EQ(requests.at(0).Bytes[4], CMD_IMAGE_HEADER_PLAIN);
    EXPECT_EQ(requests.at(0).Bytes[16], 10);
    EXPECT_EQ(std::string(requests.at(0).Bytes.begin() + 17, requests.at(0).Bytes.begin() + 27),
              "mcuimg.bin");
    EXPECT_EQ(requests.at(2).Bytes, (Bytes{0x5A, 0x35, 0x77, 0xA5, 0x26, 0, 0, 0, 0xF1}));
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{1000, 2000}));
    EXPECT_TRUE(b.Host.Boxes.empty());
}

TEST_F(FirmwareTest, FilesThatCannotBeReadAreNamedAndNothingIsSent) {
    ctx.Session.ImageSum = 5;
    b.Host.FileAnswers.push_back((dir / "missing.bin").string());
    UpdateFirmware(ctx);
    b.Host.FileAnswers.push_back(dir.string());
    UpdateFirmware(ctx);
    b.Host.FileAnswers.push_back("/dev/zero");
    UpdateFirmware(ctx);
    ASSERT_EQ(b.Host.Boxes.size(), 3u);
    EXPECT_EQ(b.Host.Boxes[0].Caption, "Error found!");
    EXPECT_NE(b.Host.Boxes[0].Text.find("missing.bin"), std::string::npos);
    EXPECT_NE(b.Host.Boxes[0].Text.find("No such file"), std::string::npos);
    EXPECT_NE(b.Host.Boxes[1].Text.find("folder"), std::string::npos);
    EXPECT_NE(b.Host.Boxes[2].Text.find("not a regular file"), std::string::npos);
    EXPECT_TRUE(b.Sim.Requests().empty());
    EXPECT_EQ(ctx.Session.ImageSum, 5u);

    UpdateFirmware(ctx);  // the dialog is cancelled
    EXPECT_EQ(b.Host.Boxes.size(), 3u);
}

TEST_F(FirmwareTest, UnreachableDeviceGetsNoChecksumRequest) {
    Choose({'a'});
    b.Sim.Stop();
    UpdateFirmware(ctx);
    ASSERT_EQ(b.Host.Boxes.size(), 1u);
    EXPECT_EQ(b.Host.Boxes[0].Caption, "Error found!");
    EXPECT_NE(b.Host.Boxes[0].Text.find("could not be sent"), std::string::npos);
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{3000}));  // no pause before a checksum request
    EXPECT_FALSE(ctx.Session.Link.LinkBusy);
}

TEST_F(FirmwareTest, ImageTheDeviceDoesNotConfirmIsReportedAndNotRestarted) {
    // The image goes out whole; then the checksum request meets a device that stays silent or
    // refuses. Neither is a success, and no reset follows.
    struct Case {
        const char* name;
        sim::TSimFaults faults;
        const char* reason;
    };
    sim::TSimFaults silent, refusing;
    silent.NeverAnswer = true;
    refusing.NegativeStatus = true;
    const Case cases[] = {
        {"silent", silent, "the device did not answer"},
        {"refusing", refusing, "the device refused it (status 0x15)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        b.Sim.SetFaults({});
        b.Host.Boxes.clear();
        b.Host.OnSleep = [&](int ms) {
            if (ms == 2000) b.Sim.SetFaults(c.faults);  // the pause before the checksum request
        };
        Choose({'a', 'b', 'c'});
        UpdateFirmware(ctx);
        ASSERT_EQ(b.Host.Boxes.size(), 1u);
        EXPECT_EQ(b.Host.Boxes[0].Caption, "Error found!");
        EXPECT_EQ(b.Host.Boxes[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(b.Host.Boxes[0].Text, std::string("The device did not confirm the firmware "
                                                    "image: ") +
                                            c.reason +
                                            ".\nIt may not be stored. Please upload it again.");
        EXPECT_EQ(ctx.Form1.StatusBar2.Panels[0],
                  "F/W not confirmed by device! Please upload again.");
        EXPECT_FALSE(ctx.Session.Link.LinkBusy);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(b.Sim.Snapshot().RestartCount, 0);
}

}  // namespace
}  // namespace kstbell::test
