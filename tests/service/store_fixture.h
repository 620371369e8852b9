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

namespace kstbell::store::test {

class TTempDir {
  public:
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kstbell-store-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TTempDir() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// 2027-01-07T08:00:00Z plus ms.
inline TUtcTime At(long long ms) {
    return FromUnixMs(1'799'308'800'000 + ms);
}

inline TAuditEntry Entry(long long ms, TAuditKind kind, TAuditCause cause, std::string horn = "",
                         std::string detail = "") {
    return {.At = At(ms), .Kind = kind, .Cause = cause, .HornAddress = horn, .Detail = detail};
}

}  // namespace kstbell::store::test
