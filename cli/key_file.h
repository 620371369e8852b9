#pragma once

#include <string>

namespace kstbell::cli {

// Reads a Wi-Fi key from a file: its bytes without the line ends at its end ("\n", "\r\n",
// "\r\n\n", ...), so that a key saved by an editor is the key typed. False, with the reason, when
// the file cannot be read or is far longer than any key.
bool ReadKeyFile(const std::string& path, std::string& key, std::string& error);

}  // namespace kstbell::cli
