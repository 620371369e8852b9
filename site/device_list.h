#pragma once

// Which devices a command is about: addresses and address ranges as given on the command line or
// in a file.

#include <string>
#include <vector>

namespace kstbell::site {

// The most addresses one range may name (a /16).
inline constexpr std::size_t kMaxRangeAddresses = 65536;

// "A.B.C.D" gives that address (in its usual spelling); "A.B.C.D/N" every host address of the
// range: without its network and broadcast addresses for N up to 30, both for 31, the one for 32.
// False, with the reason, for anything else or a range larger than kMaxRangeAddresses.
bool ExpandTarget(const std::string& text, std::vector<std::string>& into, std::string& error);

// Reads a device list: one address or range per line; blank lines and text after "#" are
// ignored. False, with the reason (and its line), when the file cannot be read or a line is
// not an address or range.
bool ReadDeviceFile(const std::string& path, std::vector<std::string>& into, std::string& error);

// Drops repeated addresses, keeping the first of each.
void RemoveRepeats(std::vector<std::string>& addresses);

}  // namespace kstbell::site
