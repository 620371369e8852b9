#pragma once

// Locating: is this PC on the device's network right now? And the device address, which an
// operator can change.

#include <cstdint>
#include <string>

namespace kstbell {

class TDeviceSession;

// The survey: adapters, then connected Wi-Fi interfaces, then their join on the prefix.
// Returns the number of connected Wi-Fi adapters with an address on the device network.
std::uint8_t SurveyHostNetwork(TDeviceSession& s, const std::string& prefix);
void ListConnectedInterfaces(TDeviceSession& s);
std::uint8_t MatchDeviceNetwork(TDeviceSession& s, const std::string& prefix);

// 1 when exactly one connected Wi-Fi adapter is on the device network (or the session does not
// check the host network); otherwise 0, and the observers learn why.
std::uint8_t LocateDevice(TDeviceSession& s);

// Takes text as the new device address and network prefix, then locates. Four decimal parts
// are kept in their usual spelling. Throws TConversionError, changing nothing, when a part is
// not an integer.
void ApplyStaticIp(TDeviceSession& s, const std::string& text);

}  // namespace kstbell
