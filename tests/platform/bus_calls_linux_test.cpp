#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/bus_calls_linux.h"
#include "platform/private_bus_linux.h"

namespace kstbell {
namespace {

const std::string kNm = "org.freedesktop.NetworkManager";
const std::string kProperties = "org.freedesktop.DBus.Properties";
const std::string kDevice = "org.freedesktop.NetworkManager.Device";

class BusCalls : public ::testing::Test {
  protected:
    void SetUp() override {
        try {
            bus_.StartBus();
            bus_.StartNetworkManager();
            devicePath_ = bus_.AddWifiDevice("wifi0", "wlan0", test::kNmStateDisconnected);
        } catch (const std::exception& e) {
            FAIL() << e.what();
        }
        connection_ = TBusConnection::Open(bus_.Address());
        ASSERT_NE(connection_, nullptr);
    }
    void TearDown() override { bus_.Stop(); }

    test::TPrivateBusLinux bus_;
    std::string devicePath_;
    std::unique_ptr<TBusConnection> connection_;
};

// Every call answers in its own place; a refused one, or one to an object that does not exist,
// is nothing there and leaves its neighbours alone.
TEST_F(BusCalls, RepliesComeBackInTheOrderOfTheCalls) {
    const auto replies = connection_->CallAll(
        kNm,
        {{devicePath_, kProperties, "Get", {kDevice, "Interface"}},
         {"/org/freedesktop/NetworkManager/Devices/none", kProperties, "Get", {kDevice, "State"}},
         {devicePath_, kProperties, "Get", {kDevice, "NoSuchProperty"}},
         {"/org/freedesktop/NetworkManager", kNm, "GetDevices", {}}},
        500);
    ASSERT_EQ(replies.size(), 4u);
    ASSERT_TRUE(replies[0]);
    EXPECT_EQ(replies[0]->Variant().Text, "wlan0");
    EXPECT_FALSE(replies[1]);
    EXPECT_FALSE(replies[2]);
    ASSERT_TRUE(replies[3]);
    EXPECT_EQ(replies[3]->ObjectPaths(), std::vector<std::string>{devicePath_});
    EXPECT_TRUE(connection_->IsOpen());
}

// Texts, object paths, numbers and booleans are read; arrays and structures are stepped over
// without losing the properties after them. A reader of the wrong shape reads nothing.
TEST_F(BusCalls, PropertiesOfEveryTypeAreReadOrSkipped) {
    const auto replies =
        connection_->CallAll(kNm, {{devicePath_, kProperties, "GetAll", {kDevice}}}, 500);
    ASSERT_TRUE(replies[0]);
    const TBusProperties props = replies[0]->Properties();
    const struct {
        const char* Name;
        const char* Text;
        std::uint64_t Number;
    } expected[] = {
        {"Interface", "wlan0", 0},
        {"Driver", "dbusmock", 0},
        {"ActiveConnection", "/", 0},
        {"DeviceType", "", 2},
        {"State", "", 30},
        {"Managed", "", 1},
        {"AutoConnect", "", 0},
        {"AvailableConnections", "", 0},  // ao
        {"StateReason", "", 0},           // (uu)
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.Name);
        const auto it = props.find(e.Name);
        ASSERT_NE(it, props.end());
        EXPECT_EQ(it->second.Text, e.Text);
        EXPECT_EQ(it->second.Number, e.Number);
    }
    EXPECT_EQ(replies[0]->ObjectPaths(), std::vector<std::string>{});
    EXPECT_EQ(replies[0]->Variant().Text, "");
}

TEST_F(BusCalls, NoBusNoConnection) {
    EXPECT_EQ(TBusConnection::Open("unix:path=/nonexistent/bus"), nullptr);
    EXPECT_EQ(TBusConnection::Open("not an address"), nullptr);
}

}  // namespace
}  // namespace kstbell
