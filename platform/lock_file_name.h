#pragma once

#include <cstdint>
#include <string>

namespace kstbell {

// The name of a horn's lock file: "192.168.77.1-13577.lock". A dotted-quad address is spelt the
// usual way (192.168.077.001 is 192.168.77.1), so that every program finds the same file; any
// other address keeps letters, digits, dots, colons and dashes, the rest become '_', and it is
// cut to 200 bytes. The name never holds a slash and is never "." or "..".
std::string LockFileName(const std::string& address, std::uint16_t port);

}  // namespace kstbell
