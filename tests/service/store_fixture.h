#pragma once

// What the store's tests share: a temporary state folder, a file's bytes, and entries made
// from a few fields.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "service/store/audit_entry.h"
#include "service/store/utc_time.h"

namespace kstbell::store::test {

class TTempDir {
  public:
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kstbell-store-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::filesystem::path operator/(const std::string& name) const { return path / name; }

  private:
    std::filesystem::path path;
};

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// 2027-01-07T08:00:00Z plus ms.
inline TUtcTime At(long long ms) {
    return FromUnixMs(1'799'308'800'000 + ms);
}

inline TAuditEntry Entry(long long ms, TAuditKind kind, TAuditCause cause, std::string horn = "",
                         std::string detail = "") {
    TAuditEntry entry;
    entry.At = At(ms);
    entry.Kind = kind;
    entry.Cause = cause;
    entry.HornAddress = std::move(horn);
    entry.Detail = std::move(detail);
    return entry;
}

}  // namespace kstbell::store::test
