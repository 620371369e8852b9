// Two device sessions in one process, each with its own simulated horn, share nothing.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/file_transfer.h"
#include "device/relay_output.h"
#include "device/session.h"
#include "platform/survey_simulated.h"
#include "platform/tcp_client_posix.h"
#include "sim/device_simulator.h"
#include "support/fake_host.h"
#include "support/sim_fixture.h"

namespace kstbell::test {
namespace {

// Counts what one session tells.
struct TRecorder : IDeviceObserver {
    std::vector<std::string> Traces;
    int Infos = 0;
    void OnTrace(const std::string& line) override { Traces.push_back(line); }
    void OnInfoDecoded(const TDeviceInfo&, bool) override { ++Infos; }
};

struct TSide {
    explicit TSide(std::uint8_t model)
        : Sim(Options(model)), Tcp(Host), Session(Tcp, Network, Host) {
        Sim.Start();
        Session.Link.DeviceIp = "127.0.0.1";
        Session.Link.DevicePort = Sim.Port();
        Session.Locate.CheckHostNetwork = false;
        Session.AddObserver(Recorder);
    }
    static sim::TSimOptions Options(std::uint8_t model) {
        sim::TSimOptions o;
        o.BindAddress = "127.0.0.1";
        o.Port = 0;
        o.Model = model;
        return o;
    }
    sim::TDeviceSimulator Sim;
    TFakeHost Host;
    TSimulatedHostNetwork Network{"10.9.9.9", {}};  // never asked: no Wi-Fi check
    TPosixTcpClient Tcp;
    TDeviceSession Session;
    TRecorder Recorder;
};

TEST(SessionTest, TwoSessionsSideBySideShareNothing) {
    TSide a(kSupportedModelCode);
    TSide b(100);
    // Interleaved: information, relay, a file and the status, alternating between the two.
    EXPECT_TRUE(RequestDeviceInfo(a.Session).Ok());
    EXPECT_TRUE(RequestDeviceInfo(b.Session).Ok());
    EXPECT_TRUE(SetRelayOutput(a.Session, 1, 1, 2).Ok());
    EXPECT_TRUE(WriteDeviceFileBytes(b.Session, "/local/locate.cfg", "Hall B").Ok());
    EXPECT_TRUE(RequestStatus(a.Session).Ok());
    EXPECT_TRUE(RequestStatus(b.Session).Ok());

    EXPECT_TRUE(a.Session.Flags.SupportedModel);
    EXPECT_FALSE(b.Session.Flags.SupportedModel);
    EXPECT_EQ(a.Session.OutputState, 1);
    EXPECT_EQ(b.Session.OutputState, 0);  // another model has no output to show
    EXPECT_EQ(a.Sim.Snapshot().Relay, 1);
    EXPECT_EQ(a.Sim.Snapshot().Tone, 2);
    EXPECT_EQ(b.Sim.Snapshot().Relay, 0);
    EXPECT_FALSE(a.Sim.ReadFile("/local/locate.cfg").has_value());
    EXPECT_TRUE(SimFileIs(b.Sim, "/local/locate.cfg",
                          std::vector<std::uint8_t>{'H', 'a', 'l', 'l', ' ', 'B'}));
    EXPECT_EQ(a.Recorder.Infos, 1);
    EXPECT_EQ(b.Recorder.Infos, 1);
    EXPECT_EQ(a.Recorder.Traces.back(), "Loop:1,Val:1,mode:2");
    EXPECT_EQ(b.Recorder.Traces, (std::vector<std::string>{"DEV_ID => 00", "ARMED :0"}));
    EXPECT_EQ(b.Host.Sleeps, (std::vector<int>{1500}));
    EXPECT_TRUE(a.Host.Sleeps.empty());
}

}  // namespace
}  // namespace kstbell::test
