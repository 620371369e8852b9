#pragma once

// Where the horns of a simulated site live and what sets them apart: consecutive IPv4
// addresses and a MAC address per horn. Pure functions, no sockets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kstbell::sim {

using TIpv4 = std::array<std::uint8_t, 4>;  // first part first, as in dotted text

// "a.b.c.d" with four decimal parts from 0 to 255; nothing for anything else.
std::optional<TIpv4> ParseIpv4(const std::string& text);
std::string Ipv4Text(const TIpv4& address);

// count addresses from first on: first itself, then each following address whose last part is
// neither 0 nor 255 (those read as a network's own and its broadcast address), so that every
// horn of a site sits at an ordinary host address: 127.0.78.254 is followed by 127.0.79.1.
// Throws std::invalid_argument when first is not an IPv4 address, count is 0, or the range
// runs past 255.255.255.254.
std::vector<TIpv4> ConsecutiveAddresses(const TIpv4& first, std::size_t count);

// The MAC address of the horn at index: 02:4B:7A:3C:60:01 for the first, the last three bytes
// counting up from there for the others (a locally administered range, unique for 2^24 horns).
std::array<std::uint8_t, 6> HornMac(std::size_t index);

}  // namespace kstbell::sim
