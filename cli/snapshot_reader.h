#pragma once

// Reading a snapshot file strictly: it is JSON nested no deeper than a snapshot is, every key is
// one a snapshot has, every value is of its kind, and a text and its "_hex" bytes agree. Any
// file, however malformed, gives either the settings or a reason that names the key.

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "cli/config_settings.h"

namespace kstbell::cli {

inline constexpr std::size_t kMaxSnapshotBytes = 1 << 20;
// Objects and arrays inside each other; a snapshot needs four.
inline constexpr int kMaxSnapshotDepth = 16;

// Reads the "settings" of a snapshot document; settings it leaves out stay absent. False, with
// the reason ("settings.modbus.port: ..."), for a document that is not a snapshot, a key that
// no snapshot has, or a setting that cannot be read.
bool ReadSettings(const nlohmann::ordered_json& snapshot, TSettings& out, std::string& error);
// The same from the text of a file.
bool ReadSnapshotText(std::string_view text, TSettings& out, std::string& error);
// The same from a file; the reason starts with its path.
bool ReadSnapshotFile(const std::string& path, TSettings& out, std::string& error);

}  // namespace kstbell::cli
