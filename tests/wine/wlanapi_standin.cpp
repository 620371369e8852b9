// A stand-in for the Windows Wi-Fi service's client library (wlanapi.dll), for running the
// window program under Wine, whose own library reports no Wi-Fi interface. Only the calls the
// Windows survey makes are answered. Never part of a release: the tests load it in place of
// Wine's library with WINEDLLOVERRIDES=wlanapi=n and the folder holding it on WINEPATH.
//
// KSTBELL_WLAN_STANDIN lists the interfaces it reports, separated by ';', each
//   ADDRESS[,STATE[,BSSID[,SSID]]]
// ADDRESS is the IPv4 address of the adapter the interface stands for: its GUID is taken from
// the IP Helper adapter that holds this address, as on Windows, where a Wi-Fi interface and
// its adapter share one GUID (an address no adapter holds gets a GUID of no adapter). STATE is
// "connected" (the default) or "disconnected"; BSSID defaults to 02:4B:7A:3C:60:01 and SSID to
// "KST horn". Unset or empty: no interface. What it reports is written to standard error once.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>

#include <iphlpapi.h>
#include <objbase.h>
#include <windows.h>
#include <wlanapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct TStandinInterface {
    std::string Address;
    bool Connected = true;
    unsigned char Bssid[6] = {0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01};
    std::string Ssid = "KST horn";
    GUID Guid{};
    bool HasAdapter = false;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

bool ParseBssid(const std::string& text, unsigned char (&bssid)[6]) {
    unsigned int bytes[6];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &bytes[0], &bytes[1], &bytes[2],
                    &bytes[3], &bytes[4], &bytes[5], &tail) != 6)
        return false;
    for (int i = 0; i < 6; ++i)
        bssid[i] = static_cast<unsigned char>(bytes[i]);
    return true;
}

// Four decimal parts in network order, as in a socket address.
bool ParseIpv4(const std::string& text, ULONG& address) {
    unsigned int parts[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%3u.%3u.%3u.%3u%c", &parts[0], &parts[1], &parts[2], &parts[3],
                    &tail) != 4)
        return false;
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) {
        if (parts[i] > 255) return false;
        bytes[i] = static_cast<unsigned char>(parts[i]);
    }
    std::memcpy(&address, bytes, 4);
    return true;
}

// The GUID of the IP Helper adapter that holds address, from its name "{...}".
bool FindAdapterGuid(const std::string& address, GUID& guid) {
    ULONG wanted = 0;
    if (!ParseIpv4(address, wanted)) return false;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = ::GetAdaptersAddresses(
            AF_INET, 0, nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR) return false;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
         adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
             unicast = unicast->Next) {
            const sockaddr* raw = unicast->Address.lpSockaddr;
            if (raw == nullptr || raw->sa_family != AF_INET) continue;
            if (reinterpret_cast<const sockaddr_in*>(raw)->sin_addr.s_addr != wanted) continue;
            wchar_t name[64] = {};
            if (::MultiByteToWideChar(CP_ACP, 0, adapter->AdapterName, -1, name, 64) == 0)
                return false;
            return ::CLSIDFromString(name, &guid) == NOERROR;
        }
    }
    return false;
}

std::string GuidText(const GUID& guid) {
    wchar_t wide[39] = {};
    ::StringFromGUID2(guid, wide, 39);
    char narrow[39] = {};
    ::WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

std::vector<TStandinInterface> ReadInterfaces() {
    std::vector<TStandinInterface> interfaces;
    char text[2048] = {};
    const DWORD length = ::GetEnvironmentVariableA("KSTBELL_WLAN_STANDIN", text, sizeof text);
    if (length == 0 || length >= sizeof text) return interfaces;
    for (const std::string& entry : Split(text, ';')) {
        if (entry.empty()) continue;
        const std::vector<std::string> fields = Split(entry, ',');
        TStandinInterface wifi;
        wifi.Address = fields[0];
        if (fields.size() > 1) wifi.Connected = fields[1] != "disconnected";
        if (fields.size() > 2 && !ParseBssid(fields[2], wifi.Bssid))
            std::fprintf(stderr, "wlanapi stand-in: bad BSSID '%s' ignored\n", fields[2].c_str());
        if (fields.size() > 3) wifi.Ssid = fields[3].substr(0, DOT11_SSID_MAX_LENGTH);
        wifi.HasAdapter = FindAdapterGuid(wifi.Address, wifi.Guid);
        if (!wifi.HasAdapter) {
            // A GUID of no adapter, different for each entry.
            ::CLSIDFromString(L"{6B7374BE-0000-4000-8000-000000000000}", &wifi.Guid);
            wifi.Guid.Data2 = static_cast<unsigned short>(interfaces.size() + 1);
        }
        interfaces.push_back(wifi);
    }
    for (const TStandinInterface& wifi : interfaces)
        std::fprintf(stderr, "wlanapi stand-in: %s %s (%s) %s\n", GuidText(wifi.Guid).c_str(),
                     wifi.Address.c_str(), wifi.HasAdapter ? "an adapter's" : "no adapter's",
                     wifi.Connected ? "connected" : "disconnected");
    if (interfaces.empty()) std::fprintf(stderr, "wlanapi stand-in: no interface\n");
    return interfaces;
}

// Read once, when the survey first asks.
const std::vector<TStandinInterface>& Interfaces() {
    static const std::vector<TStandinInterface> interfaces = ReadInterfaces();
    return interfaces;
}

int handleToken = 0;

void* Allocate(std::size_t bytes) {
    return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
}

void CopyWide(const std::string& text, WCHAR* to, int capacity) {
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, to, capacity);
    to[capacity - 1] = L'\0';
}

}  // namespace

extern "C" {

PVOID WINAPI WlanAllocateMemory(DWORD bytes) {
    return Allocate(bytes);
}

VOID WINAPI WlanFreeMemory(PVOID memory) {
    if (memory != nullptr) ::HeapFree(::GetProcessHeap(), 0, memory);
}

DWORD WINAPI WlanOpenHandle(DWORD clientVersion, PVOID reserved, PDWORD negotiatedVersion,
                            PHANDLE handle) {
    if (reserved != nullptr || negotiatedVersion == nullptr || handle == nullptr ||
        clientVersion < 1 || clientVersion > 2)
        return ERROR_INVALID_PARAMETER;
    *negotiatedVersion = clientVersion;
    *handle = &handleToken;
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanCloseHandle(HANDLE handle, PVOID reserved) {
    if (handle != &handleToken || reserved != nullptr) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanEnumInterfaces(HANDLE handle, PVOID reserved, PWLAN_INTERFACE_INFO_LIST* list) {
    if (handle != &handleToken || reserved != nullptr || list == nullptr)
        return ERROR_INVALID_PARAMETER;
    const auto& interfaces = Interfaces();
    const std::size_t count = interfaces.size();
    // Sized from the array's offset: headers declare the array with one element or none.
    auto* result = static_cast<WLAN_INTERFACE_INFO_LIST*>(
        Allocate(offsetof(WLAN_INTERFACE_INFO_LIST, InterfaceInfo) +
                 std::max<std::size_t>(count, 1) * sizeof(WLAN_INTERFACE_INFO)));
    if (result == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
    result->dwNumberOfItems = static_cast<DWORD>(count);
    for (std::size_t i = 0; i < count; ++i) {
        WLAN_INTERFACE_INFO& info = result->InterfaceInfo[i];
        info.InterfaceGuid = interfaces[i].Guid;
        CopyWide("kstbell test Wi-Fi adapter " + std::to_string(i + 1),
                 info.strInterfaceDescription, WLAN_MAX_NAME_LENGTH);
        info.isState = interfaces[i].Connected ? wlan_interface_state_connected
                                               : wlan_interface_state_disconnected;
    }
    *list = result;
    return ERROR_SUCCESS;
}

DWORD WINAPI WlanQueryInterface(HANDLE handle, const GUID* guid, WLAN_INTF_OPCODE opCode,
                                PVOID reserved, PDWORD dataSize, PVOID* data,
                                PWLAN_OPCODE_VALUE_TYPE valueType) {
    if (handle != &handleToken || guid == nullptr || reserved != nullptr || dataSize == nullptr ||
        data == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (opCode != wlan_intf_opcode_current_connection) return ERROR_NOT_SUPPORTED;
    for (const TStandinInterface& wifi : Interfaces()) {
        if (!::IsEqualGUID(wifi.Guid, *guid)) continue;
        if (!wifi.Connected) return ERROR_INVALID_STATE;
        auto* connection =
            static_cast<WLAN_CONNECTION_ATTRIBUTES*>(Allocate(sizeof(WLAN_CONNECTION_ATTRIBUTES)));
        if (connection == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
        connection->isState = wlan_interface_state_connected;
        connection->wlanConnectionMode = wlan_connection_mode_profile;
        CopyWide(wifi.Ssid, connection->strProfileName, WLAN_MAX_NAME_LENGTH);
        DOT11_SSID& ssid = connection->wlanAssociationAttributes.dot11Ssid;
        ssid.uSSIDLength = static_cast<ULONG>(wifi.Ssid.size());
        std::memcpy(ssid.ucSSID, wifi.Ssid.data(), wifi.Ssid.size());
        connection->wlanAssociationAttributes.dot11BssType = dot11_BSS_type_infrastructure;
        std::memcpy(connection->wlanAssociationAttributes.dot11Bssid, wifi.Bssid, 6);
        connection->wlanAssociationAttributes.wlanSignalQuality = 80;
        *dataSize = sizeof(WLAN_CONNECTION_ATTRIBUTES);
        *data = connection;
        if (valueType != nullptr) *valueType = wlan_opcode_value_type_query_only;
        return ERROR_SUCCESS;
    }
    return ERROR_NOT_FOUND;
}

}  // extern "C"
