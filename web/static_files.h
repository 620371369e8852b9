#pragma once

// The page's files, from one folder. A request names a file by its path's decoded segments;
// only plain names are taken (no empty, "." or ".." segment, no backslash, slash, NUL or
// leading dot), and the file is opened one segment at a time below the folder without
// following any symbolic link, so no path leaves the folder.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kstbell::web {

// Larger files are not served.
inline constexpr std::size_t kMaxStaticBytes = 8 * 1024 * 1024;

struct TStaticFile {
    std::string Body;
    std::string ContentType;
};

class TStaticFiles {
  public:
    explicit TStaticFiles(std::filesystem::path root) : root_(std::move(root)) {}

    const std::filesystem::path& Root() const { return root_; }
    // The file at these segments below the folder, or nothing.
    std::optional<TStaticFile> Find(const std::vector<std::string>& segments) const;

  private:
    std::filesystem::path root_;
};

// Whether a segment is a plain name that may be looked up.
bool PlainName(std::string_view segment);
std::string ContentTypeOf(std::string_view name);

}  // namespace kstbell::web
