#ifdef _WIN32

// Own header first: the project's headers declare names (MessageBox) that <windows.h> would
// otherwise turn into macros.
#include "platform/survey_windows.h"
#include "protocol/text.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h must come before the other Windows headers.
#include <winsock2.h>

#include <iphlpapi.h>
#include <objbase.h>
#include <windows.h>
#include <wlanapi.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace kstbell {

namespace {

// Wide text from the system as narrow text in the system's default code page.
std::string Narrow(const wchar_t* wide) {
    if (wide == nullptr || *wide == L'\0') return {};
    const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written =
        ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr);
    if (written <= 1) return {};
    text.resize(static_cast<std::size_t>(written - 1));  // without the converted terminator
    return text;
}

// Windows sockets for as long as the adapter query runs.
class TWinsockSession {
  public:
    TWinsockSession() {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~TWinsockSession() {
        if (started_) ::WSACleanup();
    }
    TWinsockSession(const TWinsockSession&) = delete;
    TWinsockSession& operator=(const TWinsockSession&) = delete;
    bool Started() const { return started_; }

  private:
    bool started_ = false;
};

// The adapter query buffer on the process heap.
class THeapBuffer {
  public:
    THeapBuffer() = default;
    ~THeapBuffer() { Free(); }
    THeapBuffer(const THeapBuffer&) = delete;
    THeapBuffer& operator=(const THeapBuffer&) = delete;
    bool Allocate(unsigned long bytes) {
        Free();
        data_ = ::HeapAlloc(::GetProcessHeap(), 0, bytes);
        return data_ != nullptr;
    }
    void Free() {
        if (data_ != nullptr) ::HeapFree(::GetProcessHeap(), 0, data_);
        data_ = nullptr;
    }
    void* Data() const { return data_; }

  private:
    void* data_ = nullptr;
};

// Memory that the Wi-Fi service hands out, released with WlanFreeMemory.
struct TWlanFree {
    void operator()(void* data) const { ::WlanFreeMemory(data); }
};
template <class T>
using TWlanMemory = std::unique_ptr<T, TWlanFree>;

// The Wi-Fi service client handle, closed on every path.
class TWlanHandle {
  public:
    TWlanHandle() = default;
    ~TWlanHandle() {
        if (handle_ != nullptr) ::WlanCloseHandle(handle_, nullptr);
    }
    TWlanHandle(const TWlanHandle&) = delete;
    TWlanHandle& operator=(const TWlanHandle&) = delete;
    bool Open() {
        DWORD negotiatedVersion = 0;
        HANDLE handle = nullptr;
        if (::WlanOpenHandle(2, nullptr, &negotiatedVersion, &handle) != ERROR_SUCCESS)
            return false;
        handle_ = handle;
        return true;
    }
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_ = nullptr;
};

void FillAdapter(const IP_ADAPTER_ADDRESSES& record, THostAdapter& adapter) {
    adapter.AdapterName = record.AdapterName != nullptr ? record.AdapterName : "";
    adapter.Ipv4Text.clear();
    const IP_ADAPTER_UNICAST_ADDRESS* unicast = record.FirstUnicastAddress;
    if (unicast != nullptr && unicast->Address.lpSockaddr != nullptr &&
        unicast->Address.lpSockaddr->sa_family == AF_INET) {
        char host[512] = {};
        ::getnameinfo(unicast->Address.lpSockaddr, unicast->Address.iSockaddrLength, host,
                      sizeof host, nullptr, 0, NI_NUMERICHOST);
        adapter.Ipv4Text = host;
    }
    adapter.Description = Narrow(record.Description);
    adapter.FriendlyName = Narrow(record.FriendlyName);
    // Without a physical address the slot keeps the MAC fields of its previous occupant; they
    // are not part of the join.
    const std::size_t macLength =
        std::min<std::size_t>(record.PhysicalAddressLength, MAX_ADAPTER_ADDRESS_LENGTH);
    if (macLength != 0) {
        adapter.MacText = MacToText(record.PhysicalAddress, macLength);
        std::memcpy(adapter.Mac.data(), record.PhysicalAddress,
                    std::min(macLength, adapter.Mac.size()));
    }
    adapter.IfType = static_cast<std::uint8_t>(record.IfType & 0xFF);
    adapter.OperStatus = static_cast<std::uint8_t>(record.OperStatus & 0xFF);
}

}  // namespace

int TWindowsHostNetwork::SurveyAdapters(TSurveyTables& tables, std::string& problem) {
    TWinsockSession winsock;
    if (!winsock.Started()) return -1;
    tables.AdapterCount = 0;

    // The adapter list can grow between the call that reports the size it needs and the next
    // one, hence more than one retry.
    THeapBuffer buffer;
    ULONG size = kFirstBufferBytes;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < kQueryAttempts; ++attempt) {
        if (!buffer.Allocate(size)) {
            problem = "Out of memory for the adapter list (" + std::to_string(size) + " bytes)";
            return 0;
        }
        result = ::GetAdaptersAddresses(AF_INET, GAA_FLAG_INCLUDE_PREFIX, nullptr,
                                        static_cast<PIP_ADAPTER_ADDRESSES>(buffer.Data()), &size);
        if (result != ERROR_BUFFER_OVERFLOW) break;
        buffer.Free();
    }

    if (result == ERROR_NO_DATA) return 0;
    if (result == ERROR_BUFFER_OVERFLOW) {
        problem = "GetAdaptersAddresses still wanted a larger buffer (" + std::to_string(size) +
                  " bytes) after " + std::to_string(kQueryAttempts) + " attempts";
        return 0;
    }
    if (result != NO_ERROR) {
        problem = "GetAdaptersAddresses failed with " + std::to_string(result);
        return 0;
    }
    // Adapters beyond the table's capacity are left out.
    for (auto* record = static_cast<const IP_ADAPTER_ADDRESSES*>(buffer.Data());
         record != nullptr && tables.AdapterCount < kMaxAdapters; record = record->Next) {
        FillAdapter(*record, tables.Adapters[tables.AdapterCount]);
        ++tables.AdapterCount;
    }
    return 0;
}

int TWindowsHostNetwork::SurveyWifiInterfaces(TSurveyTables& tables) {
    // Declared before the list so that the list is released before the handle is closed.
    TWlanHandle wlan;
    if (!wlan.Open()) return 1;
    TWlanMemory<WLAN_INTERFACE_INFO_LIST> list;
    {
        PWLAN_INTERFACE_INFO_LIST raw = nullptr;
        if (::WlanEnumInterfaces(wlan.Get(), nullptr, &raw) != ERROR_SUCCESS) return 1;
        list.reset(raw);
    }
    if (!list) return 1;

    // Interfaces beyond the table's capacity are left out.
    const std::size_t count = std::min<std::size_t>(list->dwNumberOfItems, kMaxWifiInterfaces);
    tables.WifiCount = static_cast<std::uint8_t>(count);
    for (std::size_t i = 0; i < count; ++i) {
        WLAN_INTERFACE_INFO& info = list->InterfaceInfo[i];
        TWifiInterface& wifi = tables.Wifi[i];

        wchar_t guid[39] = {};
        ::StringFromGUID2(info.InterfaceGuid, guid, 39);
        wifi.GuidText = Narrow(guid);
        wifi.Description = Narrow(info.strInterfaceDescription);
        wifi.State = static_cast<std::uint8_t>(info.isState & 0xFF);
        if (info.isState != wlan_interface_state_connected) continue;

        // A failed query keeps the profile and BSSID of the slot's previous occupant.
        DWORD dataSize = 0;
        void* raw = nullptr;
        WLAN_OPCODE_VALUE_TYPE valueType{};
        if (::WlanQueryInterface(wlan.Get(), &info.InterfaceGuid,
                                 wlan_intf_opcode_current_connection, nullptr, &dataSize, &raw,
                                 &valueType) != ERROR_SUCCESS) {
            continue;
        }
        const TWlanMemory<WLAN_CONNECTION_ATTRIBUTES> connection(
            static_cast<WLAN_CONNECTION_ATTRIBUTES*>(raw));
        if (!connection) continue;
        wifi.ProfileName = Narrow(connection->strProfileName);
        std::memcpy(wifi.Bssid.data(), connection->wlanAssociationAttributes.dot11Bssid,
                    wifi.Bssid.size());
        wifi.BssidText = MacToText(wifi.Bssid.data(), wifi.Bssid.size());
    }
    return 0;
}

}  // namespace kstbell

#endif  // _WIN32
