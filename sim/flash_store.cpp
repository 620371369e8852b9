#include "sim/flash_store.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "sim/request_parser.h"

namespace kstbell::sim {

namespace fs = std::filesystem;

namespace {

// Suffix of the file a mirror write goes to before it is renamed over the real one.
constexpr const char* kTempSuffix = ".kstbell-sim-tmp";

bool ReadWholeFile(const fs::path& file, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

TFlashStore::TFlashStore(std::string mirrorDir, TReport report)
    : mirrorDir_(std::move(mirrorDir)), report_(std::move(report)) {}

std::string TFlashStore::MirrorPath(const std::string& path) const {
    // Paths are validated absolute device paths, so plain concatenation stays inside the mirror.
    return mirrorDir_ + path;
}

void TFlashStore::LoadMirror() {
    if (mirrorDir_.empty()) return;
    std::error_code ec;
    fs::create_directories(mirrorDir_, ec);
    if (ec || !fs::is_directory(mirrorDir_, ec)) {
        throw std::runtime_error("cannot use state folder " + mirrorDir_ + ": " +
                                 (ec ? ec.message() : std::string("not a folder")));
    }
    files_.clear();
    const fs::path root(mirrorDir_);
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string path = "/" + it->path().lexically_relative(root).generic_string();
        if (path.ends_with(kTempSuffix) || !IsValidDevicePath(path)) continue;
        std::vector<std::uint8_t> bytes;
        if (ReadWholeFile(it->path(), bytes)) {
            files_[path] = std::move(bytes);
        } else if (report_) {
            report_("cannot read " + it->path().string());
        }
    }
    if (ec && report_) report_("cannot list " + mirrorDir_ + ": " + ec.message());
}

std::optional<std::vector<std::uint8_t>> TFlashStore::Read(const std::string& path) const {
    const auto it = files_.find(path);
    if (it == files_.end()) return std::nullopt;
    return it->second;
}

void TFlashStore::Write(const std::string& path, std::vector<std::uint8_t> bytes) {
    if (!mirrorDir_.empty()) {
        const fs::path target(MirrorPath(path));
        const fs::path temp(target.string() + kTempSuffix);
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        bool written = false;
        if (!ec) {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            out.close();
            written = !out.fail();
        }
        if (written) fs::rename(temp, target, ec);
        if (!written || ec) {
            fs::remove(temp, ec);
            if (report_) report_("cannot mirror " + path + " to " + target.string());
        }
    }
    files_[path] = std::move(bytes);
}

bool TFlashStore::Remove(const std::string& path) {
    if (!mirrorDir_.empty()) {
        std::error_code ec;
        fs::remove(MirrorPath(path), ec);
        if (ec && report_) report_("cannot remove mirror of " + path + ": " + ec.message());
    }
    return files_.erase(path) > 0;
}

void TFlashStore::RemoveUnder(const std::string& prefix) {
    std::vector<std::string> doomed;
    for (const auto& [path, bytes] : files_) {
        if (path.starts_with(prefix)) doomed.push_back(path);
    }
    for (const auto& path : doomed)
        Remove(path);
}

}  // namespace kstbell::sim
