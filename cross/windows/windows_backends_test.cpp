// The Windows backends where they can run here: under Wine, against the simulator running
// natively on loopback. KSTBELL_SIM_PORT names its port on 127.0.0.1; without it the socket
// tests are skipped.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "device/file_transfer.h"
#include "device/locate.h"
#include "device/session.h"
#include "platform/backends.h"
#include "platform/host_locks_windows.h"
#include "platform/survey_windows.h"

namespace kstbell {
namespace {

std::uint16_t SimulatorPort() {
    const char* port = std::getenv("KSTBELL_SIM_PORT");
    return port ? static_cast<std::uint16_t>(std::atoi(port)) : 0;
}

struct TWinsockSession {
    TQuietHost Host;
    std::unique_ptr<IHostNetworkSource> Network = MakeHostNetworkSource();
    std::unique_ptr<ITcpClient> Tcp = MakeTcpClient(Host);
    TDeviceSession Session{*Tcp, *Network, Host};

    explicit TWinsockSession(std::uint16_t port) {
        Session.Link.DeviceIp = "127.0.0.1";
        Session.Link.DevicePort = port;
        Session.Locate.CheckHostNetwork = false;
    }
};

TEST(WinsockClientTest, TalksToTheSimulatorAcrossTheWineBoundary) {
    const std::uint16_t port = SimulatorPort();
    if (port == 0) GTEST_SKIP() << "KSTBELL_SIM_PORT is not set";
    TWinsockSession w(port);
    EXPECT_TRUE(RequestDeviceInfo(w.Session).Ok());
    EXPECT_EQ(w.Session.LastReport.Model, kSupportedModelCode);
    EXPECT_TRUE(w.Session.Flags.DeviceInfoValid);
    EXPECT_TRUE(RequestStatus(w.Session).Ok());
    EXPECT_EQ(RssiDbm(w.Session.LastStatus.RssiRaw), -50);
    // A file in two connections: the header transaction, then the data phase.
    EXPECT_TRUE(WriteDeviceFileBytes(w.Session, "/local/locate.cfg", "Windows").Ok());
    EXPECT_TRUE(RequestDeviceInfo(w.Session).Ok());

    TWinsockSession closed(static_cast<std::uint16_t>(port == 1 ? 2 : 1));
    EXPECT_EQ(RequestStatus(closed.Session).Kind, TOutcomeKind::Unreachable);
    EXPECT_FALSE(closed.Session.Link.LinkBusy);
}

// Set when the stand-in for the WLAN API is loaded in place of Wine's (scripts/wine-tests runs
// the survey tests a second time so).
bool WlanStandIn() {
    return std::getenv("KSTBELL_WLAN_STANDIN") != nullptr;
}

TEST(WindowsSurveyTest, AdaptersComeFromTheSystemAndTheWifiServiceIsReportedMissing) {
    if (WlanStandIn()) GTEST_SKIP() << "the stand-in for the WLAN API is loaded";
    TWindowsHostNetwork network;
    TSurveyTables tables;
    std::string problem;
    EXPECT_EQ(network.SurveyAdapters(tables, problem), 0) << problem;
    EXPECT_GE(tables.AdapterCount, 1);
    bool someIpv4 = false;
    for (unsigned i = 0; i < tables.AdapterCount; ++i)
        someIpv4 = someIpv4 || !tables.Adapters[i].Ipv4Text.empty();
    EXPECT_TRUE(someIpv4);
    // Wine offers no Wi-Fi service: the survey says so (1) or finds no interface; either way
    // nothing is connected and locating ends in "not found" without a crash.
    const int wifi = network.SurveyWifiInterfaces(tables);
    EXPECT_TRUE(wifi == 1 || tables.WifiCount == 0) << wifi;
    std::printf("[ NOTE     ] WLAN API under this system: survey result %d, %u interfaces\n", wifi,
                static_cast<unsigned>(tables.WifiCount));
    TQuietHost host;
    const auto tcp = MakeTcpClient(host);
    TDeviceSession s(*tcp, network, host);
    EXPECT_EQ(LocateDevice(s), 0);
}

TEST(WindowsHostLocksTest, HoldsConflictWhenOneIsExclusiveAndEndWithTheirHolder) {
    const auto folder = std::filesystem::temp_directory_path() / "kstbell-locks-test";
    std::filesystem::remove_all(folder);
    {
        // Two holders as two programs: holds through separate handles conflict in one process.
        TWindowsHostLocks first(folder.wstring());
        TWindowsHostLocks second(folder.wstring());
        using TStatus = THoldAttempt::TStatus;
        const THoldKind S = THoldKind::Shared;
        const THoldKind X = THoldKind::Exclusive;
        struct Case {
            THoldKind held, asked;
            TStatus expected;
        };
        for (const Case& c :
             {Case{S, S, TStatus::Taken}, Case{S, X, TStatus::HeldElsewhere},
              Case{X, S, TStatus::HeldElsewhere}, Case{X, X, TStatus::HeldElsewhere}}) {
            THoldAttempt held = first.TryHold("127.0.0.1", 13577, c.held);
            ASSERT_EQ(held.Status, TStatus::Taken) << held.Problem;
            EXPECT_EQ(second.TryHold("127.000.0.1", 13577, c.asked).Status, c.expected);
            EXPECT_EQ(second.TryHold("127.0.0.2", 13577, X).Status, TStatus::Taken);
            held.Hold.reset();
            EXPECT_EQ(second.TryHold("127.0.0.1", 13577, X).Status, TStatus::Taken);
        }
    }
    std::filesystem::remove_all(folder);
}

// The stand-in reports a connected interface for the loopback adapter, a connected one that no
// adapter holds and a disconnected one: the survey joins the first to its adapter by GUID, as a
// Wi-Fi adapter on Windows, and locating finds exactly that one on the loopback network.
TEST(WindowsSurveyTest, ConnectedWifiInterfaceJoinsTheAdapterOfItsGuid) {
    if (!WlanStandIn()) GTEST_SKIP() << "KSTBELL_WLAN_STANDIN is not set";
    TWindowsHostNetwork network;
    TQuietHost host;
    const auto tcp = MakeTcpClient(host);
    TDeviceSession s(*tcp, network, host);
    EXPECT_EQ(SurveyHostNetwork(s, "127.0.0."), 1);
    ASSERT_EQ(s.Survey.WifiCount, 3);
    EXPECT_EQ(s.Survey.ConnectedCount, 2);
    const TNetworkMatch& match = s.Survey.Matches[0];
    EXPECT_EQ(match.Ipv4Text, "127.0.0.1");
    EXPECT_EQ(match.ProfileName, "KST horn");
    EXPECT_EQ(match.BssidText, "02:4B:7A:3C:60:01");
    EXPECT_EQ(match.GuidText.size(), 38u);
    EXPECT_EQ(SurveyHostNetwork(s, "10.66.0."), 0) << "an interface without an adapter matched";

    s.Locate.DeviceNetPrefix = "127.0.0.";
    EXPECT_EQ(LocateDevice(s), 1);
    EXPECT_EQ(s.Locate.LocalIp, "127.0.0.1");
}

}  // namespace
}  // namespace kstbell
