#pragma once

// Which devices a command is about: addresses and address ranges as given on the command line or
// in a file.

#include <cstddef>
#include <string>
#include <vector>

namespace kstbell::site {

// The most addresses one range may name (a /16).
inline constexpr std::size_t kMaxRangeAddresses = 65536;
// The most devices a command is about unless told otherwise.
inline constexpr std::size_t kDefaultMaxDevices = 65536;
// The largest device list file read.
inline constexpr std::size_t kMaxDeviceFileBytes = 4 * 1024 * 1024;

// How many devices a list may come to (repeats counted), and how the user raises that.
struct TDeviceLimit {
    std::size_t Max = kDefaultMaxDevices;
    std::string HowToRaise;  // "--max-devices N raises it"; may be empty
};

// "A.B.C.D" gives that address (in its usual spelling); "A.B.C.D/N" every host address of the
// range: without its network and broadcast addresses for N up to 30, both for 31, the one for 32.
// False, with the reason, for anything else, a range larger than kMaxRangeAddresses, or when
// into would hold more than limit.Max addresses; into is left as it was then.
bool ExpandTarget(const std::string& text, std::vector<std::string>& into, std::string& error,
                  const TDeviceLimit& limit = {});

// Reads a device list: one address or range per line; blank lines and text after "#" are
// ignored. False, with the reason (and its line), when the file cannot be read, is a folder, is
// larger than kMaxDeviceFileBytes, a line is not an address or range, or the addresses come to
// more than limit.Max.
bool ReadDeviceFile(const std::string& path, std::vector<std::string>& into, std::string& error,
                    const TDeviceLimit& limit = {});

// Drops repeated addresses, keeping the first of each.
void RemoveRepeats(std::vector<std::string>& addresses);

}  // namespace kstbell::site
