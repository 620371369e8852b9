#pragma once

// The device's flash file system: files by absolute path, in a flash of fixed size. Kept in
// memory; when a mirror folder is given every change is also written below it (mirror + path),
// so that a later run can load the same files again. A change whose mirror write fails is not
// made in memory either, so that what the device holds is what it still holds after a restart.
// Not thread-safe: the owner serialises access.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kstbell::sim {

using TFileMap = std::map<std::string, std::vector<std::uint8_t>>;

// The application image has a slot of its own; every other file shares the file space.
inline constexpr const char* kImageSlotPath = "/sys/mcuimg.bin";
inline constexpr std::size_t kImageSlotBytes = 2 * 1024 * 1024;
inline constexpr std::size_t kFileSpaceBytes = 4 * 1024 * 1024;

enum class EFlashResult {
    Done,
    Missing,     // no such file (removing)
    NoSpace,     // the file does not fit
    SaveFailed,  // the mirror folder refused the change; nothing changed
};

class TFlashStore {
  public:
    // report receives a line for every mirror operation that failed.
    using TReport = std::function<void(const std::string&)>;

    TFlashStore(std::string mirrorDir, TReport report);

    // Creates the mirror folder if needed and loads every valid file below it that fits its
    // space, replacing the files held in memory. Throws std::runtime_error when the folder
    // cannot be created.
    void LoadMirror();

    std::optional<std::vector<std::uint8_t>> Read(const std::string& path) const;
    // The file's bytes in place, or null; valid until the next change.
    const std::vector<std::uint8_t>* Find(const std::string& path) const;
    // Whether a file of length bytes at path would fit, counting the file it replaces as free.
    bool Fits(const std::string& path, std::size_t length) const;
    // Whether a file at path can be saved now: always in memory; with a mirror, a probe file
    // is created in its place and removed again.
    bool CanSave(const std::string& path) const;
    EFlashResult Write(const std::string& path, std::vector<std::uint8_t> bytes);
    EFlashResult Remove(const std::string& path);
    // Removes every file whose path starts with prefix; SaveFailed when any of them stays.
    EFlashResult RemoveUnder(const std::string& prefix);
    const TFileMap& All() const { return files_; }
    // Bytes held in the shared file space (everything but the image).
    std::size_t FileSpaceUsed() const { return fileSpaceUsed_; }

  private:
    std::string MirrorPath(const std::string& path) const;
    void Put(const std::string& path, std::vector<std::uint8_t> bytes);
    void Erase(const std::string& path);
    void Report(const std::string& line) const;

    std::string mirrorDir_;
    TReport report_;
    TFileMap files_;
    std::size_t fileSpaceUsed_ = 0;
};

}  // namespace kstbell::sim
