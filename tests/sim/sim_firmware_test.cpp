#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

#include "sim/device_simulator.h"
#include "sim/firmware_image.h"
#include "sim_client.h"

namespace kstbell::sim::test {
namespace {

constexpr std::size_t kMaxImage = 2 * 1024 * 1024;

// An image of the given length whose bytes vary, with "FWVER=" and two version bytes at offset
// when the marker is wanted.
TBytes Image(std::size_t length, std::optional<std::size_t> markerAt = std::nullopt,
             TFirmwareVersion version = {}) {
    TBytes image(length);
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<std::uint8_t>((i * 13) % 251);
    if (markerAt) {
        const TBytes marker = AsBytes("FWVER=");
        std::copy(marker.begin(), marker.end(), image.begin() + static_cast<long>(*markerAt));
        image[*markerAt + 6] = version.Major;
        image[*markerAt + 7] = version.Minor;
    }
    return image;
}

// Runs against both firmware headers: 95 with "/sys/mcuimg.bin" (the supported model) and the
// plain 90 with "mcuimg.bin" (any other device).
class SimFirmware : public ::testing::TestWithParam<std::uint8_t> {
  protected:
    SimFirmware() : sim_(LoopbackOptions()) { sim_.Start(); }

    // Header, then the image on a connection of its own, as the desktop program sends them;
    // returns once the device holds exactly expected.
    void Upload(const TBytes& image, const std::optional<TBytes>& expected = std::nullopt) {
        const bool plain = GetParam() == 90;
        SendOnly(sim_.Port(), FileHeader(GetParam(), image.size(), Sum(image),
                                         plain ? "mcuimg.bin" : "/sys/mcuimg.bin", 40));
        Exchange(sim_.Port(), image, 5000);
        ASSERT_TRUE(
            WaitFor([&] { return sim_.ReadFile("/sys/mcuimg.bin") == expected.value_or(image); }));
    }

    std::uint32_t ReportedSum() {
        const TBytes reply = Exchange(sim_.Port(), Frame(37, {0, 0, 0, 0})).Reply;
        EXPECT_EQ(reply.size(), 10u);
        if (reply.size() != 10u) return 0;
        return static_cast<std::uint32_t>(reply[6] << 24 | reply[7] << 16 | reply[8] << 8 |
                                          reply[9]);
    }

    // Version bytes of the information reply; the snapshot must agree with them.
    TFirmwareVersion Reported() {
        const TBytes info = Exchange(sim_.Port(), Frame(33, {0, 0})).Reply;
        EXPECT_EQ(info.size(), 256u);
        if (info.size() != 256u) return {};
        const TSimSnapshot snapshot = sim_.Snapshot();
        EXPECT_EQ(snapshot.FirmwareMajor, info[24]);
        EXPECT_EQ(snapshot.FirmwareMinor, info[25]);
        return {info[24], info[25]};
    }

    void Reset(int restartsAfter) {
        SendOnly(sim_.Port(), Frame(45));
        ASSERT_TRUE(WaitFor([&] { return sim_.Snapshot().RestartCount == restartsAfter; }));
    }

    void Corrupting(bool on) {
        TSimFaults faults;
        faults.CorruptStoredImage = on;
        sim_.SetFaults(faults);
    }

    TDeviceSimulator sim_;
};

INSTANTIATE_TEST_SUITE_P(Headers, SimFirmware, ::testing::Values(95, 90),
                         [](const auto& test) { return test.param == 95 ? "Full" : "Plain"; });

TEST_P(SimFirmware, LargestAndEmptyImagesAreStoredAndSummed) {
    const TBytes largest = Image(kMaxImage);
    Upload(largest);
    const auto requests = sim_.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_TRUE(requests.back().DataConnection);
    // The record keeps the image's first bytes and its true length.
    EXPECT_EQ(requests.back().Length, kMaxImage);
    EXPECT_EQ(requests.back().Bytes, TBytes(largest.begin(), largest.begin() + 64 * 1024));
    EXPECT_EQ(ReportedSum(), Sum(largest));

    // The data connection opens and closes without data; the empty image replaces the old one.
    Upload({});
    EXPECT_EQ(ReportedSum(), 0u);
}

TEST_P(SimFirmware, CorruptSwitchChangesTheStoredSumByTheFlippedAmount) {
    Corrupting(true);
    TBytes image = Image(kMaxImage);
    image[kMaxImage / 2] = 0x41;
    TBytes stored = image;
    stored[kMaxImage / 2] = 0x42;
    Upload(image, stored);
    // What arrived is recorded unchanged; only flash holds the damage.
    EXPECT_EQ(sim_.Requests().back().Bytes, TBytes(image.begin(), image.begin() + 64 * 1024));
    EXPECT_EQ(ReportedSum(), Sum(image) + 1);

    // 0xFF wraps to 0: the sum drops by 255.
    image[kMaxImage / 2] = 0xFF;
    stored[kMaxImage / 2] = 0x00;
    Upload(image, stored);
    EXPECT_EQ(ReportedSum(), Sum(image) - 255);

    Upload({7}, TBytes{8});
    EXPECT_EQ(ReportedSum(), 8u);
    // Nothing to change in an empty image.
    Upload({});
    EXPECT_EQ(ReportedSum(), 0u);

    // Other files are never touched, and with the switch off images are stored as sent.
    ASSERT_EQ(WriteFile(sim_.Port(), "/local/locate.cfg", AsBytes("Lab")).Reply.at(5), 6);
    ASSERT_TRUE(WaitFor([&] { return sim_.ReadFile("/local/locate.cfg") == AsBytes("Lab"); }));
    Corrupting(false);
    Upload(image);
    EXPECT_EQ(ReportedSum(), Sum(image));
}

TEST_P(SimFirmware, UploadedVersionRunsOnlyAfterTheNextRestart) {
    EXPECT_EQ(Reported(), (TFirmwareVersion{1, 0x0A}));
    // Deep inside the image, and only the first marker counts.
    TBytes image = Image(300000, 250000, {2, 3});
    const TBytes later = Image(16, 0, {9, 9});
    std::copy(later.begin(), later.end(), image.begin() + 280000);
    Upload(image);
    EXPECT_EQ(Reported(), (TFirmwareVersion{1, 0x0A}));

    Reset(1);
    EXPECT_EQ(Reported(), (TFirmwareVersion{2, 3}));

    // An image without a marker runs as the built-in version, again only after a restart.
    Upload(Image(5000));
    EXPECT_EQ(Reported(), (TFirmwareVersion{2, 3}));
    Reset(2);
    EXPECT_EQ(Reported(), (TFirmwareVersion{1, 0x0A}));
}

TEST(SimFirmwareVersion, ReadFromTheImageWhenTheDeviceBoots) {
    EXPECT_EQ(FirmwareVersionOf({}), kBuiltInFirmware);
    EXPECT_EQ(FirmwareVersionOf(AsBytes("xxFWVER=\x03\x07")), (TFirmwareVersion{3, 7}));
    EXPECT_EQ(FirmwareVersionOf(AsBytes("FWVFWVER=ab FWVER=cd")), (TFirmwareVersion{'a', 'b'}));
    // The first marker lacks its second byte: nothing to run but the built-in version.
    EXPECT_EQ(FirmwareVersionOf(AsBytes("FWVER=\x05")), kBuiltInFirmware);
    EXPECT_EQ(FirmwareVersionOf(AsBytes("FWVER")), kBuiltInFirmware);

    // Already in flash when the simulator starts: in force at once.
    const auto dir = std::filesystem::temp_directory_path() /
                     ("kstbell-sim-fw-test-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    TSimOptions options = LoopbackOptions();
    options.StateDir = dir.string();
    {
        TDeviceSimulator first(options);
        first.Start();
        WriteFile(first.Port(), "/sys/mcuimg.bin", Image(2048, 100, {4, 1}));
        ASSERT_TRUE(WaitFor([&] { return first.ReadFile("/sys/mcuimg.bin").has_value(); }));
        EXPECT_EQ(first.Snapshot().FirmwareMajor, 1);
    }
    TDeviceSimulator second(options);
    second.Start();
    EXPECT_EQ(second.Snapshot().FirmwareMajor, 4);
    EXPECT_EQ(second.Snapshot().FirmwareMinor, 1);
    EXPECT_EQ(second.Snapshot().RestartCount, 0);
    second.Stop();
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kstbell::sim::test
