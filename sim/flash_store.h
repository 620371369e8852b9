#pragma once

// The device's flash file system: files by absolute path. Kept in memory; when a mirror folder
// is given every change is also written below it (mirror + path), so that a later run can load
// the same files again. Not thread-safe: the owner serialises access.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kstbell::sim {

using TFileMap = std::map<std::string, std::vector<std::uint8_t>>;

class TFlashStore {
  public:
    // report receives a line for every mirror operation that failed.
    using TReport = std::function<void(const std::string&)>;

    TFlashStore(std::string mirrorDir, TReport report);

    // Creates the mirror folder if needed and loads every valid file below it, replacing the
    // files held in memory. Throws std::runtime_error when the folder cannot be created.
    void LoadMirror();

    std::optional<std::vector<std::uint8_t>> Read(const std::string& path) const;
    bool Exists(const std::string& path) const { return files_.contains(path); }
    void Write(const std::string& path, std::vector<std::uint8_t> bytes);
    // True when the file existed.
    bool Remove(const std::string& path);
    // Removes every file whose path starts with prefix.
    void RemoveUnder(const std::string& prefix);
    const TFileMap& All() const { return files_; }

  private:
    std::string MirrorPath(const std::string& path) const;

    std::string mirrorDir_;
    TReport report_;
    TFileMap files_;
};

}  // namespace kstbell::sim
