#include <gtest/gtest.h>

#include "sim/device_simulator.h"
#include "sim_client.h"

namespace kstbell::sim::test {
namespace {

class SimProtocol : public ::testing::Test {
  protected:
    explicit SimProtocol(TSimOptions options = LoopbackOptions()) : sim_(std::move(options)) {
        sim_.Start();
    }

    TBytes Ask(const TBytes& request) {
        const TExchange exchange = Exchange(sim_.Port(), request);
        EXPECT_FALSE(exchange.TimedOut);
        return exchange.Reply;
    }
    TBytes Info() { return Ask(Frame(33, {0, 0})); }

    TDeviceSimulator sim_;
};

std::string TextAt(const TBytes& reply, std::size_t offset) {
    std::string text;
    for (std::size_t i = offset; i < offset + 31 && reply[i] != 0; ++i) {
        text += static_cast<char>(reply[i]);
    }
    return text;
}

TEST_F(SimProtocol, InformationReplyCarriesTheFactoryState) {
    const TBytes reply = Info();
    ASSERT_EQ(reply.size(), 256u);
    EXPECT_EQ(TBytes(reply.begin(), reply.begin() + 7),
              (TBytes{0x5A, 0x35, 0x77, 0xA5, 33, 6, 186}));
    // 127.0.0.1, last part first.
    EXPECT_EQ(TBytes(reply.begin() + 7, reply.begin() + 11), (TBytes{1, 0, 0, 127}));
    EXPECT_EQ(TBytes(reply.begin() + 11, reply.begin() + 17),
              (TBytes{0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01}));
    EXPECT_EQ(TBytes(reply.begin() + 17, reply.begin() + 22), (TBytes{1, 7, 45, 3, 5}));
    EXPECT_EQ(reply[24], 1);
    EXPECT_EQ(reply[25], 0x0A);
    EXPECT_EQ(reply[36] * 256 + reply[37], 120);
    EXPECT_EQ(TextAt(reply, 40), "Office");
    EXPECT_EQ(TextAt(reply, 80), "KST-06-QZ-603C01");
    EXPECT_EQ(reply[112], 0);
    EXPECT_EQ(TextAt(reply, 128), "");
    EXPECT_EQ(reply[160], 0);
    EXPECT_EQ(reply[176], 2);
    EXPECT_EQ(reply[179] * 256 + reply[180], 502);
    EXPECT_EQ(reply[181], 0);
    EXPECT_EQ(reply[194] * 256 + reply[195], 65486);
    EXPECT_EQ(reply[196], 1);
    EXPECT_EQ(reply[198], 0);
    // The gaps between fields stay zero.
    for (std::size_t i : {22u, 23u, 38u, 39u, 71u, 111u, 159u, 197u, 199u, 255u}) {
        EXPECT_EQ(reply[i], 0) << i;
    }
}

class SimReportedAddress : public SimProtocol {
  protected:
    static TSimOptions Options() {
        TSimOptions options = LoopbackOptions();
        options.ReportedAddress = "192.168.77.1";
        options.Model = 7;
        return options;
    }
    SimReportedAddress() : SimProtocol(Options()) {}
};

TEST_F(SimReportedAddress, ReportsTheConfiguredAddressAndModel) {
    // The queued 9-byte form of the request is answered the same way.
    const TBytes reply = Ask(Frame(33, {0, 0, 0, 0}));
    ASSERT_EQ(reply.size(), 256u);
    EXPECT_EQ(reply[6], 7);
    EXPECT_EQ(TBytes(reply.begin() + 7, reply.begin() + 11), (TBytes{1, 77, 168, 192}));
}

TEST_F(SimProtocol, RelayFollowsSetOutputAndShowsInStatusAndInformation) {
    sim_.SetInput(1);
    EXPECT_EQ(Ask(Frame(208, {1, 1, 3})), (TBytes{0x5A, 0x35, 0x77, 0xA5, 208, 6, 1, 1}));
    EXPECT_EQ(sim_.Snapshot().Relay, 1);
    EXPECT_EQ(sim_.Snapshot().Tone, 3);

    const TBytes status = Ask(Frame(216));
    ASSERT_EQ(status.size(), 13u);
    EXPECT_EQ(status[4], 216);
    EXPECT_EQ(status[5], 6);
    EXPECT_EQ(status[6], 1);
    EXPECT_EQ(status[7], 1);
    EXPECT_EQ(status[8], 0xFF);
    EXPECT_EQ(status[9], 0xCE);
    EXPECT_EQ(status[12], 0);

    const TBytes info = Info();
    EXPECT_EQ(info[177], 1);
    EXPECT_EQ(info[178], 1);

    // The 7-byte form has no tone byte: relay and tone both from zero bytes.
    EXPECT_EQ(Ask(Frame(208, {0, 0}))[6], 0);
    EXPECT_EQ(sim_.Snapshot().Relay, 0);
    EXPECT_EQ(sim_.Snapshot().Tone, 0);
}

TEST_F(SimProtocol, CommandsWithoutPayloadAreAcknowledgedOrSilent) {
    EXPECT_EQ(Ask(Frame(220)), (TBytes{0x5A, 0x35, 0x77, 0xA5, 220, 6}));
    EXPECT_EQ(Ask(Frame(29, {0, 0, 0, 0}))[5], 6);
    EXPECT_EQ(Ask(Frame(29, {0, 0}))[5], 6);
    EXPECT_EQ(sim_.Snapshot().LocatorCount, 2);
    EXPECT_EQ(Ask(Frame(50, {5, 'k', 'e', 'y', '4', '5'}))[5], 6);
    EXPECT_EQ(sim_.Snapshot().WebLoginKey, "key45");

    // The checksum notice is read and dropped; the stream just ends.
    const TExchange notice = Exchange(sim_.Port(), Frame(38, {0, 0, 1, 0x26}));
    EXPECT_TRUE(notice.Reply.empty());
    EXPECT_FALSE(notice.TimedOut);
    EXPECT_EQ(sim_.Snapshot().RestartCount, 0);
    SendOnly(sim_.Port(), Frame(45));
    EXPECT_TRUE(WaitFor([&] { return sim_.Snapshot().RestartCount == 1; }));
}

TEST_F(SimProtocol, WifiModeIsStoredAndRunsAfterTheRestart) {
    EXPECT_EQ(Ask(Frame(48, {0}))[5], 6);
    EXPECT_EQ(sim_.Snapshot().RestartCount, 1);
    EXPECT_EQ(sim_.Snapshot().WifiMode, 0);
    EXPECT_EQ(Info()[176], 0);

    EXPECT_EQ(Ask(Frame(48, {2}))[5], 6);
    EXPECT_EQ(Info()[176], 2);
    EXPECT_EQ(sim_.Snapshot().RestartCount, 2);
}

}  // namespace
}  // namespace kstbell::sim::test
