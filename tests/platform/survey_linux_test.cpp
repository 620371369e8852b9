#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/private_bus_linux.h"
#include "platform/survey_linux.h"

namespace kstbell {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// ---- Adapters ----

// An interface address list in the shape getifaddrs builds, from hand-made entries. Packet
// addresses get room for 24 address bytes, as glibc gives them.
class TAddressList {
  public:
    void Ipv4(const char* name, const char* address, unsigned flags = 0) {
        auto& storage = Storage();
        sockaddr_in in{};
        in.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &in.sin_addr);
        std::memcpy(storage.data(), &in, sizeof in);
        Add(name, flags, storage.data());
    }
    void Ipv6(const char* name, const char* address) {
        auto& storage = Storage();
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, address, &in6.sin6_addr);
        std::memcpy(storage.data(), &in6, sizeof in6);
        Add(name, 0, storage.data());
    }
    void Packet(const char* name, const Bytes& hw, unsigned flags = 0) {
        auto& storage = Storage();
        sockaddr_ll ll{};
        ll.sll_family = AF_PACKET;
        ll.sll_halen = static_cast<unsigned char>(hw.size());
        std::memcpy(storage.data(), &ll, sizeof ll);
        std::memcpy(storage.data() + offsetof(sockaddr_ll, sll_addr), hw.data(), hw.size());
        Add(name, flags, storage.data());
    }
    void NoAddress(const char* name) { Add(name, 0, nullptr); }

    const ifaddrs* Head() {
        for (std::size_t i = 0; i + 1 < nodes_.size(); ++i)
            nodes_[i].ifa_next = &nodes_[i + 1];
        return nodes_.empty() ? nullptr : &nodes_.front();
    }

  private:
    struct alignas(sockaddr_storage) TStorage : std::array<unsigned char, 64> {};
    TStorage& Storage() { return storage_.emplace_back(); }
    void Add(const char* name, unsigned flags, unsigned char* addr) {
        ifaddrs node{};
        node.ifa_name = const_cast<char*>(names_.emplace_back(name).c_str());
        node.ifa_flags = flags;
        node.ifa_addr = reinterpret_cast<sockaddr*>(addr);
        nodes_.push_back(node);
    }
    std::deque<TStorage> storage_;  // deques keep addresses stable as they grow
    std::deque<std::string> names_;
    std::vector<ifaddrs> nodes_;
};

// A sysfs class/net folder of our own.
class TFakeSysfs {
  public:
    TFakeSysfs() {
        char pattern[] = "/tmp/kstbell-sysfs-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp");
        root_ = pattern;
    }
    ~TFakeSysfs() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void Interface(const std::string& name, const std::string& operstate,
                   const std::string& driver = {}, const std::string& marker = {}) {
        const fs::path dir = root_ / name;
        fs::create_directories(dir);
        std::ofstream(dir / "operstate") << operstate << "\n";
        if (!marker.empty()) fs::create_directories(dir / marker);
        if (!driver.empty()) {
            fs::create_directories(dir / "device");
            fs::create_symlink("../../../bus/pci/drivers/" + driver, dir / "device" / "driver");
        }
    }
    std::string Root() const { return root_.string(); }

  private:
    fs::path root_;
};

TEST(LinuxAdapterSurvey, OneAdapterPerInterfaceWithSysfsFacts) {
    TFakeSysfs sysfs;
    sysfs.Interface("lo", "unknown");
    sysfs.Interface("eth0", "down", "e1000e");
    sysfs.Interface("wlp2s0", "up", "iwlwifi", "phy80211");
    sysfs.Interface("wlan1", "dormant", "", "wireless");
    sysfs.Interface("ib0", "lowerlayerdown");

    TAddressList list;
    list.Packet("lo", {0, 0, 0, 0, 0, 0}, IFF_LOOPBACK);
    list.Packet("eth0", {0x02, 0xfc, 0x00, 0x00, 0x00, 0x01});
    list.Ipv4("lo", "127.0.0.1", IFF_LOOPBACK);
    list.Ipv6("eth0", "fe80::1");
    list.Ipv4("eth0", "10.0.0.5");
    list.Ipv4("eth0", "10.0.0.6");  // only the first IPv4 address counts
    list.Packet("wlp2s0", {0xa4, 0x34, 0xd9, 0x12, 0x9e, 0x7f});
    list.Ipv4("wlp2s0", "192.168.77.23");
    list.Packet("wlan1", {0xa4, 0x34, 0xd9, 0x12, 0x9e, 0x80});
    Bytes infiniband(20);
    for (std::size_t i = 0; i < infiniband.size(); ++i)
        infiniband[i] = static_cast<std::uint8_t>(0x80 + i);
    list.Packet("ib0", infiniband);
    list.NoAddress("tun0");

    // Leftovers of an earlier survey must not show through.
    TSurveyTables t;
    for (auto& a : t.Adapters) {
        a.MacText = "stale";
        a.Mac = {9, 9, 9, 9, 9, 9};
        a.Ipv4Text = "9.9.9.9";
    }
    FillAdapters(list.Head(), sysfs.Root(), t);

    ASSERT_EQ(t.AdapterCount, 6);
    const auto& lo = t.Adapters[0];
    EXPECT_EQ(lo.AdapterName, "lo");
    EXPECT_EQ(lo.FriendlyName, "lo");
    EXPECT_EQ(lo.Description, "lo");  // no driver: the name
    EXPECT_EQ(lo.Ipv4Text, "127.0.0.1");
    EXPECT_EQ(lo.MacText, "");  // zeros are no physical address
    EXPECT_EQ(lo.Mac, (std::array<std::uint8_t, 6>{}));
    EXPECT_EQ(lo.IfType, kIfTypeLoopback);
    EXPECT_EQ(lo.OperStatus, 4);

    const auto& eth = t.Adapters[1];
    EXPECT_EQ(eth.AdapterName, "eth0");
    EXPECT_EQ(eth.Description, "e1000e");
    EXPECT_EQ(eth.Ipv4Text, "10.0.0.5");
    EXPECT_EQ(eth.MacText, "02:FC:00:00:00:01");
    EXPECT_EQ(eth.Mac, (std::array<std::uint8_t, 6>{0x02, 0xfc, 0, 0, 0, 1}));
    EXPECT_EQ(eth.IfType, kIfTypeEthernet);
    EXPECT_EQ(eth.OperStatus, 2);

    const auto& wlp = t.Adapters[2];
    EXPECT_EQ(wlp.AdapterName, "wlp2s0");
    EXPECT_EQ(wlp.Description, "iwlwifi");
    EXPECT_EQ(wlp.Ipv4Text, "192.168.77.23");
    EXPECT_EQ(wlp.IfType, kIfTypeWifi);
    EXPECT_EQ(wlp.OperStatus, kOperStatusUp);

    EXPECT_EQ(t.Adapters[3].IfType, kIfTypeWifi);  // marked by "wireless" alone
    EXPECT_EQ(t.Adapters[3].OperStatus, 5);
    EXPECT_EQ(t.Adapters[3].Ipv4Text, "");

    const auto& ib = t.Adapters[4];
    EXPECT_EQ(ib.MacText,
              "80:81:82:83:84:85:86:87:88:89:8A:8B:8C:8D:8E:8F:90:91:92:93");  // every byte
    EXPECT_EQ(ib.Mac, (std::array<std::uint8_t, 6>{0x80, 0x81, 0x82, 0x83, 0x84, 0x85}));
    EXPECT_EQ(ib.OperStatus, 7);

    const auto& tun = t.Adapters[5];
    EXPECT_EQ(tun.AdapterName, "tun0");
    EXPECT_EQ(tun.Ipv4Text, "");
    EXPECT_EQ(tun.MacText, "");
    EXPECT_EQ(tun.OperStatus, 0);  // no sysfs folder
}

TEST(LinuxAdapterSurvey, StopsAtCapacityAndKeepsFirstSeenOrder) {
    TAddressList list;
    std::vector<std::string> names;
    for (int i = 0; i < 25; ++i)
        names.push_back("veth" + std::to_string(i));
    for (const auto& n : names)
        list.NoAddress(n.c_str());
    for (const auto& n : names)
        list.Ipv4(n.c_str(), "10.1.1.1");
    TFakeSysfs sysfs;
    TSurveyTables t;
    FillAdapters(list.Head(), sysfs.Root(), t);
    ASSERT_EQ(t.AdapterCount, kMaxAdapters);
    for (std::size_t i = 0; i < kMaxAdapters; ++i) {
        EXPECT_EQ(t.Adapters[i].AdapterName, names[i]);
        EXPECT_EQ(t.Adapters[i].Ipv4Text, "10.1.1.1");
    }

    FillAdapters(nullptr, sysfs.Root(), t);
    EXPECT_EQ(t.AdapterCount, 0);
}

TEST(LinuxAdapterSurvey, ThisMachineListsLoopback) {
    TLinuxHostNetwork network("unix:path=/nonexistent");
    TSurveyTables t;
    std::string problem;
    ASSERT_EQ(network.SurveyAdapters(t, problem), 0);
    EXPECT_EQ(problem, "");
    const THostAdapter* lo = nullptr;
    for (std::size_t i = 0; i < t.AdapterCount; ++i)
        if (t.Adapters[i].AdapterName == "lo") lo = &t.Adapters[i];
    ASSERT_NE(lo, nullptr);
    EXPECT_EQ(lo->Ipv4Text, "127.0.0.1");
    EXPECT_EQ(lo->IfType, kIfTypeLoopback);
    EXPECT_EQ(lo->MacText, "");
}

// ---- Wi-Fi interfaces ----

TEST(LinuxWifiSurvey, MapsNetworkManagerDeviceStates) {
    const std::pair<std::uint32_t, std::uint8_t> cases[] = {
        {100, kWifiStateConnected},  {30, kWifiStateDisconnected}, {110, kWifiStateDisconnecting},
        {40, kWifiStateAssociating}, {50, kWifiStateAssociating},  {70, kWifiStateAssociating},
        {80, kWifiStateAssociating}, {90, kWifiStateAssociating},  {60, kWifiStateAuthenticating},
        {0, kWifiStateNotReady},     {10, kWifiStateNotReady},     {20, kWifiStateNotReady},
        {120, kWifiStateNotReady},   {101, kWifiStateNotReady},
    };
    for (const auto& [nm, expected] : cases)
        EXPECT_EQ(WifiStateFromDeviceState(nm), expected) << "device state " << nm;
}

TEST(LinuxWifiSurvey, ParsesBssidText) {
    std::array<std::uint8_t, 6> b{};
    ASSERT_TRUE(ParseBssid("02:4b:7A:3c:6A:ff", b));
    EXPECT_EQ(b, (std::array<std::uint8_t, 6>{0x02, 0x4b, 0x7a, 0x3c, 0x6a, 0xff}));
    for (const char* bad : {"", "02:4b:7a:3c:6a", "02:4b:7a:3c:6a:ff:00", "02-4b-7a-3c-6a-ff",
                            "02:4b:7a:3c:6a:fg", "024b7a3c6aff00000"}) {
        std::array<std::uint8_t, 6> untouched{1, 2, 3, 4, 5, 6};
        EXPECT_FALSE(ParseBssid(bad, untouched)) << bad;
        EXPECT_EQ(untouched, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6})) << bad;
    }
}

// A table that a survey must leave exactly as it is.
TSurveyTables PreviousWifiTable() {
    TSurveyTables t;
    t.WifiCount = 1;
    t.Wifi[0].GuidText = "wlan9";
    t.Wifi[0].State = kWifiStateConnected;
    t.Wifi[0].ProfileName = "earlier";
    t.Wifi[0].BssidText = "01:02:03:04:05:06";
    t.Wifi[0].Bssid = {1, 2, 3, 4, 5, 6};
    return t;
}

void ExpectPreviousWifiTable(const TSurveyTables& t) {
    EXPECT_EQ(t.WifiCount, 1);
    EXPECT_EQ(t.Wifi[0].GuidText, "wlan9");
    EXPECT_EQ(t.Wifi[0].State, kWifiStateConnected);
    EXPECT_EQ(t.Wifi[0].ProfileName, "earlier");
    EXPECT_EQ(t.Wifi[0].Bssid, (std::array<std::uint8_t, 6>{1, 2, 3, 4, 5, 6}));
}

// A private bus; the NetworkManager mock only when the test asks for it.
class LinuxNetworkManager : public ::testing::Test {
  protected:
    void SetUp() override {
        try {
            bus_.StartBus();
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }
    void TearDown() override { bus_.Stop(); }

    void StartMock() {
        try {
            bus_.StartNetworkManager();
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
    }

    test::TPrivateBusLinux bus_;
};

TEST_F(LinuxNetworkManager, OneConnectedDevice) {
    ASSERT_NO_FATAL_FAILURE(StartMock());
    bus_.AddConnectedWifi("wifi0", "wlp2s0", "KST-BELL", "02:4b:7a:3c:6a:10");
    TLinuxHostNetwork network(bus_.Address());
    TSurveyTables t;
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    ASSERT_EQ(t.WifiCount, 1);
    const auto& w = t.Wifi[0];
    EXPECT_EQ(w.GuidText, "wlp2s0");
    EXPECT_EQ(w.Description, "dbusmock");  // the mock's driver name
    EXPECT_EQ(w.State, kWifiStateConnected);
    EXPECT_EQ(w.ProfileName, "KST-BELL");
    EXPECT_EQ(w.BssidText, "02:4B:7A:3C:6A:10");
    EXPECT_EQ(w.Bssid, (std::array<std::uint8_t, 6>{0x02, 0x4b, 0x7a, 0x3c, 0x6a, 0x10}));
}

TEST_F(LinuxNetworkManager, DevicesThatAreNotConnectedHaveNoProfile) {
    ASSERT_NO_FATAL_FAILURE(StartMock());
    bus_.AddWifiDevice("wifi0", "wlan0", test::kNmStateDisconnected);
    bus_.AddWifiDevice("wifi1", "wlan1", test::kNmStateNeedAuth);
    TLinuxHostNetwork network(bus_.Address());
    TSurveyTables t = PreviousWifiTable();
    t.Wifi[1] = t.Wifi[0];
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    ASSERT_EQ(t.WifiCount, 2);
    EXPECT_EQ(t.Wifi[0].GuidText, "wlan0");
    EXPECT_EQ(t.Wifi[0].State, kWifiStateDisconnected);
    EXPECT_EQ(t.Wifi[1].GuidText, "wlan1");
    EXPECT_EQ(t.Wifi[1].State, kWifiStateAuthenticating);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(t.Wifi[i].ProfileName, "");
        EXPECT_EQ(t.Wifi[i].BssidText, "");
    }
}

TEST_F(LinuxNetworkManager, TwoConnectedDevicesInOrderWithoutWiredOnes) {
    ASSERT_NO_FATAL_FAILURE(StartMock());
    bus_.AddEthernetDevice("eth", "eth0", test::kNmStateActivated);
    bus_.AddConnectedWifi("wifi0", "wlan0", "KST-BELL-A", "02:4b:7a:3c:60:01");
    bus_.AddConnectedWifi("wifi1", "wlan1", "KST-BELL-B", "02:4b:7a:3c:70:02");
    TLinuxHostNetwork network(bus_.Address());
    TSurveyTables t;
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    ASSERT_EQ(t.WifiCount, 2);
    EXPECT_EQ(t.Wifi[0].GuidText, "wlan0");
    EXPECT_EQ(t.Wifi[0].ProfileName, "KST-BELL-A");
    EXPECT_EQ(t.Wifi[0].BssidText, "02:4B:7A:3C:60:01");
    EXPECT_EQ(t.Wifi[1].GuidText, "wlan1");
    EXPECT_EQ(t.Wifi[1].ProfileName, "KST-BELL-B");
    EXPECT_EQ(t.Wifi[1].BssidText, "02:4B:7A:3C:70:02");
    EXPECT_EQ(t.Wifi[1].State, kWifiStateConnected);
}

TEST_F(LinuxNetworkManager, FailedConnectionQueryKeepsPreviousProfile) {
    ASSERT_NO_FATAL_FAILURE(StartMock());
    bus_.AddConnectedWifi("wifi0", "wlan0", "KST-BELL", "02:4b:7a:3c:6a:10");
    TLinuxHostNetwork network(bus_.Address());
    TSurveyTables t;
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    bus_.RemoveAccessPoint("wifi0");
    t.Wifi[0].ProfileName = "from the last survey";
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    ASSERT_EQ(t.WifiCount, 1);
    EXPECT_EQ(t.Wifi[0].State, kWifiStateConnected);  // still counts as connected
    EXPECT_EQ(t.Wifi[0].ProfileName, "from the last survey");
    EXPECT_EQ(t.Wifi[0].BssidText, "02:4B:7A:3C:6A:10");
}

TEST_F(LinuxNetworkManager, NoNetworkManagerLeavesTableUntouched) {
    TLinuxHostNetwork network(bus_.Address());
    TSurveyTables t = PreviousWifiTable();
    EXPECT_EQ(network.SurveyWifiInterfaces(t), 1);
    ExpectPreviousWifiTable(t);
}

// A NetworkManager that holds its name but does not answer costs a survey its call timeout, not
// a hang; once it answers again, its late replies to the abandoned calls do not mix in.
TEST_F(LinuxNetworkManager, HungNetworkManagerTimesOutAndLeavesTableUntouched) {
    ASSERT_NO_FATAL_FAILURE(StartMock());
    bus_.AddConnectedWifi("wifi0", "wlan9", "earlier", "01:02:03:04:05:06");
    TLinuxHostNetwork network(bus_.Address());
    TSurveyTables t;
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    bus_.FreezeNetworkManager();
    t.Wifi[0].ProfileName = "from the last survey";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(network.SurveyWifiInterfaces(t), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(t.WifiCount, 1);
    EXPECT_EQ(t.Wifi[0].ProfileName, "from the last survey");

    bus_.ThawNetworkManager();
    bus_.AddConnectedWifi("wifi1", "wlan8", "later", "02:4b:7a:3c:70:02");
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    ASSERT_EQ(t.WifiCount, 2);
    EXPECT_EQ(t.Wifi[0].ProfileName, "earlier");
    EXPECT_EQ(t.Wifi[1].GuidText, "wlan8");
    EXPECT_EQ(t.Wifi[1].ProfileName, "later");
}

TEST_F(LinuxNetworkManager, NetworkManagerGoingAwayLeavesTableUntouched) {
    ASSERT_NO_FATAL_FAILURE(StartMock());
    bus_.AddConnectedWifi("wifi0", "wlan9", "earlier", "01:02:03:04:05:06");
    TLinuxHostNetwork network(bus_.Address());
    TSurveyTables t;
    ASSERT_EQ(network.SurveyWifiInterfaces(t), 0);
    ExpectPreviousWifiTable(t);
    bus_.StopNetworkManager();
    EXPECT_EQ(network.SurveyWifiInterfaces(t), 1);
    ExpectPreviousWifiTable(t);
    // The bus itself going away as well.
    bus_.Stop();
    EXPECT_EQ(network.SurveyWifiInterfaces(t), 1);
    ExpectPreviousWifiTable(t);
}

}  // namespace
}  // namespace kstbell
