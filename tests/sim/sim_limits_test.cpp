#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim/device_simulator.h"
#include "sim/sim_log.h"
#include "sim_client.h"

namespace kstbell::sim::test {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;

TBytes Pattern(std::size_t length, std::uint8_t seed) {
    TBytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
    return bytes;
}

std::uint8_t HeaderStatus(const TTarget& target, std::size_t length, const std::string& path) {
    const TBytes reply = Exchange(target, FileHeader(95, length, 0, path)).Reply;
    return reply.size() == 6 ? reply[5] : 0;
}

class SimLimits : public ::testing::Test {
  protected:
    explicit SimLimits(std::string stateDir = {}) : sim_(Options(stateDir)) { sim_.Start(); }
    static TSimOptions Options(const std::string& stateDir) {
        TSimOptions options = LoopbackOptions();
        options.StateDir = stateDir;
        return options;
    }
    TBytes Ask(const TBytes& request) { return Exchange(sim_.Port(), request).Reply; }
    TTarget From(const std::string& address) const { return {"127.0.0.1", sim_.Port(), address}; }
    // Header, then the data in one write; the data connection ends once the device is done.
    void Upload(const std::string& path, const TBytes& content) {
        ASSERT_EQ(Ask(FileHeader(95, content.size(), Sum(content), path)).at(5), 6);
        Exchange(sim_.Port(), content);
    }

    TDeviceSimulator sim_;
};

TEST_F(SimLimits, RequestRecordAndFilesStayBoundedOverManyUploads) {
    for (int i = 0; i < 300; ++i)
        Ask(Frame(216));
    EXPECT_EQ(sim_.Requests().size(), TRequestRecord::kMaxEntries);
    // Twenty uploads of 200 KiB to one path: the file is replaced, and the record keeps the
    // newest requests within its byte budget, each data connection cut to 64 KiB.
    for (std::uint8_t i = 0; i < 20; ++i) {
        const TBytes content = Pattern(200 * kKiB, i);
        Upload("/local/big.bin", content);
        const auto requests = sim_.Requests();
        EXPECT_EQ(requests.back().Length, 200 * kKiB);
        EXPECT_EQ(requests.back().Bytes, TBytes(content.begin(), content.begin() + 64 * kKiB));
        ASSERT_EQ(sim_.ReadFile("/local/big.bin"), content);
    }
    const auto requests = sim_.Requests();
    std::size_t kept = 0;
    for (const TSimRequest& request : requests) {
        EXPECT_LE(request.Bytes.size(), TRequestRecord::kMaxBytesPerEntry);
        kept += request.Bytes.size();
    }
    EXPECT_LT(requests.size(), TRequestRecord::kMaxEntries);
    EXPECT_LE(kept, TRequestRecord::kMaxBytes);
    EXPECT_GT(kept, TRequestRecord::kMaxBytes - TRequestRecord::kMaxBytesPerEntry);
    // The newest header and its data are both still there.
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2].Bytes.at(4), 95);
    EXPECT_EQ(sim_.Files().size(), 1u);
}

TEST_F(SimLimits, HeadersForFilesThatDoNotFitTheFlashAreRefused) {
    Upload("/local/a.bin", Pattern(3 * kMiB, 1));
    ASSERT_TRUE(sim_.ReadFile("/local/a.bin"));
    struct Case {
        const char* path;
        std::size_t length;
        std::uint8_t status;
    };
    const Case cases[] = {
        {"/local/b.bin", kMiB + 1, 0x15},  // 3 MiB used of 4
        {"/local/b.bin", kMiB, 6},
        {"/local/a.bin", 4 * kMiB, 6},  // replacing a file frees its space
        {"/local/a.bin", 4 * kMiB + 1, 0x15},
        {"/sys/mcuimg.bin", 2 * kMiB, 6},  // the image has a slot of its own
        {"/sys/mcuimg.bin", 2 * kMiB + 1, 0x15},
        {"/local/c.bin", 0xFFFFFFFFu, 0x15},
    };
    // Each header from a client of its own: an accepted one makes the next connection from its
    // client the data connection.
    int client = 10;
    for (const Case& c : cases) {
        const std::string from = "127.0.0." + std::to_string(client++);
        EXPECT_EQ(HeaderStatus(From(from), c.length, c.path), c.status) << c.path << c.length;
        // After a refused header the client's next connection is a request again.
        if (c.status == 0x15) {
            EXPECT_EQ(Exchange(From(from), Frame(216)).Reply.size(), 13u);
        }
    }
    EXPECT_EQ(sim_.Files().size(), 1u);
}

TEST_F(SimLimits, DataIsTakenOnlyFromTheHeadersClientAndOnlyWithItsSum) {
    const TTarget first{"127.0.0.1", sim_.Port(), "127.0.0.1"};
    const TTarget other{"127.0.0.1", sim_.Port(), "127.0.0.2"};
    ASSERT_EQ(
        Exchange(first, FileHeader(95, 3, Sum(AsBytes("Lab")), "/local/locate.cfg")).Reply.at(5),
        6);
    // Another client's status poll is answered as such, not stored as the file.
    EXPECT_EQ(Exchange(other, Frame(216)).Reply.size(), 13u);
    EXPECT_FALSE(sim_.ReadFile("/local/locate.cfg"));
    Exchange(first, AsBytes("Lab"));
    EXPECT_TRUE(WaitFor([&] { return sim_.ReadFile("/local/locate.cfg") == AsBytes("Lab"); }));

    // A header from 127.0.0.2 leaves 127.0.0.1's connections alone, and data whose sum differs
    // from its header's is not stored.
    ASSERT_EQ(Exchange(other, FileHeader(95, 3, 1, "/local/locate.cfg")).Reply.at(5), 6);
    EXPECT_EQ(Exchange(first, Frame(216)).Reply.size(), 13u);
    const TExchange data = Exchange(other, AsBytes("Out"));
    EXPECT_TRUE(data.Reset);
    EXPECT_EQ(sim_.ReadFile("/local/locate.cfg"), AsBytes("Lab"));
    EXPECT_EQ(sim_.Requests().back().Bytes, AsBytes("Out"));
}

TEST(SimLog, TextFromTheWireIsEscaped) {
    EXPECT_EQ(EscapeForLog("/local/a.cfg"), "/local/a.cfg");
    EXPECT_EQ(EscapeForLog("a\nb\r\tc\\"), "a\\nb\\r\\tc\\\\");
    EXPECT_EQ(EscapeForLog(std::string("\x1b[2J\x7f\xe9\0", 7)), "\\x1B[2J\\x7F\\xE9\\x00");

    TSimOptions options = LoopbackOptions();
    options.LogToStderr = true;
    TDeviceSimulator sim(options);
    sim.Start();
    ::testing::internal::CaptureStderr();
    Exchange(sim.Port(), KillFile("/local/y\r\x1b"));
    Exchange(sim.Port(), FileHeader(95, 1, 0, "/local/x\n\x1b[31mfake line"));
    sim.Stop();
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("/local/x\\n\\x1B[31mfake line"), std::string::npos) << log;
    EXPECT_NE(log.find("/local/y\\r\\x1B"), std::string::npos) << log;
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
    EXPECT_EQ(log.find('\r'), std::string::npos);
}

// A state folder that refuses changes: the simulator runs as root in CI, so the folder is
// blocked with a file or a folder where the simulator needs the other, not with permissions.
class SimUnsavable : public SimLimits {
  protected:
    static std::string Dir() {
        return (fs::temp_directory_path() / ("kstbell-unsavable-" + std::to_string(::getpid())))
            .string();
    }
    SimUnsavable() : SimLimits(Prepared()) {}
    ~SimUnsavable() override {
        sim_.Stop();
        fs::remove_all(Dir());
    }
    static std::string Prepared() {
        fs::remove_all(Dir());
        fs::create_directories(Dir());
        return Dir();
    }
    static void Block(const std::string& folder) {
        fs::remove_all(Dir() + folder);
        std::ofstream(Dir() + folder) << "in the way";
    }
};

TEST_F(SimUnsavable, WhatCannotBeSavedIsRefusedAndChangesNothing) {
    Upload("/sys/kept.bin", AsBytes("kept"));
    Upload("/local/web_key.cfg", AsBytes("old"));
    // The saved file cannot be removed: a non-empty folder stands in its place.
    fs::remove(Dir() + "/sys/kept.bin");
    fs::create_directories(Dir() + "/sys/kept.bin/inside");
    Block("/local");

    EXPECT_EQ(HeaderStatus(From("127.0.0.1"), 3, "/local/locate.cfg"), 0x15);
    EXPECT_EQ(Ask(Frame(48, {0}))[5], 0x15);
    EXPECT_EQ(Ask(Frame(50, {3, 'n', 'e', 'w'}))[5], 0x15);
    EXPECT_EQ(Ask(KillFile("/sys/kept.bin"))[5], 0x15);
    EXPECT_EQ(Ask(Frame(94, {1}))[5], 0x15);
    const TSimSnapshot snapshot = sim_.Snapshot();
    EXPECT_EQ(snapshot.RestartCount, 0);
    EXPECT_EQ(snapshot.WifiMode, 2);
    EXPECT_EQ(sim_.ReadFile("/local/web_key.cfg"), AsBytes("old"));
    EXPECT_EQ(sim_.ReadFile("/sys/kept.bin"), AsBytes("kept"));

    // Saving fails between the accepted header and its data: nothing is stored.
    const TBytes image = AsBytes("image");
    ASSERT_EQ(Exchange(sim_.Port(), FileHeader(95, image.size(), Sum(image), "/sys/mcuimg.bin"))
                  .Reply.at(5),
              6);
    Block("/sys");
    EXPECT_TRUE(Exchange(sim_.Port(), image).Reset);
    EXPECT_FALSE(sim_.ReadFile("/sys/mcuimg.bin"));
    EXPECT_EQ(Ask(Frame(37, {0, 0, 0, 0})).at(9), 0);
}

}  // namespace
}  // namespace kstbell::sim::test
