#include "platform/survey_linux.h"
#include "platform/bus_calls_linux.h"
#include "protocol/text.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace kstbell {

namespace {

namespace fs = std::filesystem;

// glibc stores the hardware address of an AF_PACKET entry in a sockaddr_ll whose address
// field has room for 24 bytes (enough for InfiniBand's 20), not the 8 that the header declares.
constexpr std::size_t kMaxHardwareAddress = 24;

// One interface while the address list is walked.
struct TInterfaceFacts {
    std::string Name;
    unsigned Flags = 0;
    std::string Ipv4Text;
    std::vector<std::uint8_t> HardwareAddress;
};

bool PathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string FirstLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::uint8_t OperStatusFromText(const std::string& text) {
    static constexpr std::pair<const char*, std::uint8_t> kStates[] = {
        {"up", 1},      {"down", 2},       {"testing", 3},        {"unknown", 4},
        {"dormant", 5}, {"notpresent", 6}, {"lowerlayerdown", 7},
    };
    for (const auto& [name, status] : kStates)
        if (text == name) return status;
    return 0;
}

// The kernel driver's name, from the device's driver link; empty for virtual interfaces.
std::string DriverName(const fs::path& interfaceDir) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(interfaceDir / "device" / "driver", ec);
    return ec ? std::string() : target.filename().string();
}

std::uint8_t InterfaceType(const fs::path& interfaceDir, unsigned flags) {
    if (PathExists(interfaceDir / "wireless") || PathExists(interfaceDir / "phy80211"))
        return kIfTypeWifi;
    if ((flags & IFF_LOOPBACK) != 0) return kIfTypeLoopback;
    return kIfTypeEthernet;
}

void TakeAddress(TInterfaceFacts& facts, const sockaddr* addr) {
    if (addr == nullptr) return;
    if (addr->sa_family == AF_INET && facts.Ipv4Text.empty()) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) != nullptr)
            facts.Ipv4Text = text;
    } else if (addr->sa_family == AF_PACKET && facts.HardwareAddress.empty()) {
        const auto* ll = reinterpret_cast<const sockaddr_ll*>(addr);
        const std::size_t length = std::min<std::size_t>(ll->sll_halen, kMaxHardwareAddress);
        const auto* bytes =
            reinterpret_cast<const std::uint8_t*>(addr) + offsetof(sockaddr_ll, sll_addr);
        // Loopback and tunnels report an address of zeros: that is no physical address.
        if (std::any_of(bytes, bytes + length, [](std::uint8_t b) { return b != 0; }))
            facts.HardwareAddress.assign(bytes, bytes + length);
    }
}

THostAdapter MakeAdapter(const TInterfaceFacts& facts, const fs::path& sysfsRoot) {
    const fs::path dir = sysfsRoot / facts.Name;
    THostAdapter a;
    a.AdapterName = facts.Name;
    a.FriendlyName = facts.Name;
    a.Description = DriverName(dir);
    if (a.Description.empty()) a.Description = facts.Name;
    a.Ipv4Text = facts.Ipv4Text;
    if (!facts.HardwareAddress.empty()) {
        a.MacText = MacToText(facts.HardwareAddress.data(), facts.HardwareAddress.size());
        std::copy_n(facts.HardwareAddress.begin(),
                    std::min(facts.HardwareAddress.size(), a.Mac.size()), a.Mac.begin());
    }
    a.IfType = InterfaceType(dir, facts.Flags);
    a.OperStatus = OperStatusFromText(FirstLine(dir / "operstate"));
    return a;
}

// ---- NetworkManager ----

const std::string kNmService = "org.freedesktop.NetworkManager";
const std::string kNmPath = "/org/freedesktop/NetworkManager";
const std::string kNmInterface = "org.freedesktop.NetworkManager";
const std::string kDeviceInterface = "org.freedesktop.NetworkManager.Device";
const std::string kWirelessInterface = "org.freedesktop.NetworkManager.Device.Wireless";
const std::string kActiveInterface = "org.freedesktop.NetworkManager.Connection.Active";
const std::string kAccessPointInterface = "org.freedesktop.NetworkManager.AccessPoint";
const std::string kPropertiesInterface = "org.freedesktop.DBus.Properties";

constexpr std::uint32_t kNmDeviceTypeWifi = 2;

TBusCall GetCall(const std::string& path, const std::string& interface, const std::string& name) {
    return {path, kPropertiesInterface, "Get", {interface, name}};
}

std::vector<std::optional<TBusReply>> CallAll(TBusConnection& bus,
                                              const std::vector<TBusCall>& calls) {
    return bus.CallAll(kNmService, calls, kNetworkManagerTimeoutMs);
}

const TBusValue& Property(const TBusProperties& props, std::string_view name) {
    static const TBusValue kMissing;
    const auto it = props.find(name);
    return it == props.end() ? kMissing : it->second;
}

bool IsObject(const std::string& path) {
    return !path.empty() && path != "/";
}

// A Wi-Fi device as the enumeration found it.
struct TWifiDevice {
    std::string Path;
    std::string Interface;
    std::string Description;
    std::uint8_t State = kWifiStateNotReady;
    std::string ActiveConnection;
};

std::string DeviceDescription(const TBusProperties& props, const std::string& interfaceName) {
    std::string vendorProduct = Property(props, "Vendor").Text;
    const std::string& product = Property(props, "Product").Text;
    if (!product.empty()) vendorProduct += (vendorProduct.empty() ? "" : " ") + product;
    if (!vendorProduct.empty()) return vendorProduct;
    const std::string& driver = Property(props, "Driver").Text;
    return driver.empty() ? interfaceName : driver;
}

// The Wi-Fi devices in NetworkManager's order, at most kMaxWifiInterfaces; nothing when
// NetworkManager cannot be asked. A device that vanishes while it is asked is left out.
std::optional<std::vector<TWifiDevice>> EnumerateWifiDevices(TBusConnection& bus) {
    const auto listed = CallAll(bus, {{kNmPath, kNmInterface, "GetDevices", {}}}).front();
    if (!listed) return std::nullopt;
    const std::vector<std::string> paths = listed->ObjectPaths();

    std::vector<TBusCall> calls;
    for (const std::string& path : paths)
        calls.push_back({path, kPropertiesInterface, "GetAll", {kDeviceInterface}});
    const auto replies = CallAll(bus, calls);

    std::vector<TWifiDevice> devices;
    for (std::size_t i = 0; i < paths.size() && devices.size() < kMaxWifiInterfaces; ++i) {
        if (!replies[i]) continue;
        const TBusProperties props = replies[i]->Properties();
        if (Property(props, "DeviceType").Number != kNmDeviceTypeWifi) continue;
        TWifiDevice d;
        d.Path = paths[i];
        d.Interface = Property(props, "Interface").Text;
        d.Description = DeviceDescription(props, d.Interface);
        d.State =
            WifiStateFromDeviceState(static_cast<std::uint32_t>(Property(props, "State").Number));
        d.ActiveConnection = Property(props, "ActiveConnection").Text;
        devices.push_back(std::move(d));
    }
    return devices;
}

// Profile and BSSID of each connected device: the Id of its active connection and the
// HwAddress of its current access point. A slot whose answers are incomplete is not written.
void QueryConnections(TBusConnection& bus, const std::vector<TWifiDevice>& devices,
                      TSurveyTables& tables) {
    std::vector<std::size_t> slots;
    std::vector<TBusCall> calls;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const TWifiDevice& d = devices[i];
        if (d.State != kWifiStateConnected || !IsObject(d.ActiveConnection)) continue;
        slots.push_back(i);
        calls.push_back(GetCall(d.ActiveConnection, kActiveInterface, "Id"));
        calls.push_back(GetCall(d.Path, kWirelessInterface, "ActiveAccessPoint"));
    }
    const auto first = CallAll(bus, calls);

    std::vector<std::pair<std::size_t, std::string>> named;  // slot and profile
    calls.clear();
    for (std::size_t k = 0; k < slots.size(); ++k) {
        const auto& id = first[2 * k];
        const auto& ap = first[2 * k + 1];
        if (!id || !ap) continue;
        const std::string apPath = ap->Variant().Text;
        if (!IsObject(apPath)) continue;
        named.emplace_back(slots[k], id->Variant().Text);
        calls.push_back(GetCall(apPath, kAccessPointInterface, "HwAddress"));
    }
    const auto addresses = CallAll(bus, calls);

    for (std::size_t k = 0; k < named.size(); ++k) {
        std::array<std::uint8_t, 6> bssid{};
        if (!addresses[k] || !ParseBssid(addresses[k]->Variant().Text, bssid)) continue;
        TWifiInterface& slot = tables.Wifi[named[k].first];
        slot.ProfileName = named[k].second;
        slot.Bssid = bssid;
        slot.BssidText = MacToText(bssid.data(), bssid.size());
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void FillAdapters(const ifaddrs* list, const std::string& sysfsRoot, TSurveyTables& tables) {
    std::vector<TInterfaceFacts> found;
    for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
        if (ifa->ifa_name == nullptr) continue;
        auto it = std::find_if(found.begin(), found.end(),
                               [&](const TInterfaceFacts& f) { return f.Name == ifa->ifa_name; });
        if (it == found.end()) {
            if (found.size() == kMaxAdapters) continue;
            found.push_back({ifa->ifa_name, ifa->ifa_flags, {}, {}});
            it = found.end() - 1;
        }
        TakeAddress(*it, ifa->ifa_addr);
    }
    for (std::size_t i = 0; i < found.size(); ++i)
        tables.Adapters[i] = MakeAdapter(found[i], sysfsRoot);
    tables.AdapterCount = static_cast<std::uint8_t>(found.size());
}

std::uint8_t WifiStateFromDeviceState(std::uint32_t deviceState) {
    switch (deviceState) {
        case 100:  // activated
            return kWifiStateConnected;
        case 30:  // disconnected
            return kWifiStateDisconnected;
        case 110:  // deactivating
            return kWifiStateDisconnecting;
        case 40:  // prepare
        case 50:  // config
        case 70:  // ip-config
        case 80:  // ip-check
        case 90:  // secondaries
            return kWifiStateAssociating;
        case 60:  // need-auth
            return kWifiStateAuthenticating;
        default:  // unknown, unmanaged, unavailable, failed
            return kWifiStateNotReady;
    }
}

bool ParseBssid(const std::string& text, std::array<std::uint8_t, 6>& bytes) {
    if (text.size() != 17) return false;
    std::array<std::uint8_t, 6> parsed{};
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const std::size_t at = i * 3;
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0 || (i < 5 && text[at + 2] != ':')) return false;
        parsed[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    bytes = parsed;
    return true;
}

TLinuxHostNetwork::TLinuxHostNetwork(std::string busAddress, std::string sysfsRoot)
    : busAddress_(std::move(busAddress)), sysfsRoot_(std::move(sysfsRoot)) {}

TLinuxHostNetwork::~TLinuxHostNetwork() = default;

int TLinuxHostNetwork::SurveyAdapters(TSurveyTables& tables, std::string& problem) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        problem = std::string("getifaddrs: ") + std::strerror(errno);
        tables.AdapterCount = 0;
        return 0;
    }
    try {
        FillAdapters(list, sysfsRoot_, tables);
    } catch (...) {
        ::freeifaddrs(list);
        throw;
    }
    ::freeifaddrs(list);
    return 0;
}

int TLinuxHostNetwork::SurveyWifiInterfaces(TSurveyTables& tables) {
    // One connection at a time: sd-bus connections are not safe to share between threads.
    const std::lock_guard<std::mutex> lock(busMutex_);
    // A connection that broke (bus restarted) is dropped and made afresh on the next survey.
    if (bus_ && !bus_->IsOpen()) bus_.reset();
    if (!bus_) bus_ = TBusConnection::Open(busAddress_);
    if (!bus_) return 1;
    const auto devices = EnumerateWifiDevices(*bus_);
    if (!devices) return 1;

    tables.WifiCount = static_cast<std::uint8_t>(devices->size());
    for (std::size_t i = 0; i < devices->size(); ++i) {
        const TWifiDevice& d = (*devices)[i];
        TWifiInterface& slot = tables.Wifi[i];
        slot.GuidText = d.Interface;
        slot.Description = d.Description;
        slot.State = d.State;
        if (d.State != kWifiStateConnected) {
            slot.ProfileName.clear();
            slot.BssidText.clear();
            slot.Bssid = {};
        }
    }
    // A connected slot whose connection cannot be queried keeps the profile and BSSID of the
    // previous survey.
    QueryConnections(*bus_, *devices, tables);
    return 0;
}

}  // namespace kstbell
