#pragma once

// Locating: is this PC on the device's network right now? And the device address the operator
// can change.

#include <cstdint>
#include <string>

namespace kstbell {

struct TContext;

// The survey: adapters, then connected Wi-Fi interfaces, then their join on the prefix.
// Returns the number of connected Wi-Fi adapters with an address on the device network.
std::uint8_t SurveyHostNetwork(TContext& ctx, const std::string& prefix);
void ListConnectedInterfaces(TContext& ctx);
std::uint8_t MatchDeviceNetwork(TContext& ctx, const std::string& prefix);

// 1 when exactly one connected Wi-Fi adapter is on the device network; otherwise 0, with the
// reason in the headline.
std::uint8_t LocateDevice(TContext& ctx);

// Splits an address text into its four parts and returns the network prefix (the text up to
// and including its third dot). Throws TConversionError when a part is not an integer.
std::string ParseDeviceAddress(const std::string& text);

// Takes the text of Edit2 as the new device address and network prefix, then locates.
void ApplyStaticIp(TContext& ctx);

}  // namespace kstbell
