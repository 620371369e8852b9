#include "sim/flash_store.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "sim/request_parser.h"
#include "sim/sim_log.h"

namespace kstbell::sim {

namespace fs = std::filesystem;

namespace {

// Suffix of the file a mirror write goes to before it is renamed over the real one.
constexpr const char* kTempSuffix = ".kstbell-sim-tmp";

bool IsImage(const std::string& path) {
    return path == kImageSlotPath;
}

std::size_t SpaceOf(const std::string& path) {
    return IsImage(path) ? kImageSlotBytes : kFileSpaceBytes;
}

bool ReadWholeFile(const fs::path& file, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteWholeFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

}  // namespace

TFlashStore::TFlashStore(std::string mirrorDir, TReport report)
    : mirrorDir_(std::move(mirrorDir)), report_(std::move(report)) {}

std::string TFlashStore::MirrorPath(const std::string& path) const {
    // Paths are validated absolute device paths, so plain concatenation stays inside the mirror.
    return mirrorDir_ + path;
}

void TFlashStore::Report(const std::string& line) const {
    if (report_) report_(line);
}

void TFlashStore::Put(const std::string& path, std::vector<std::uint8_t> bytes) {
    Erase(path);
    if (!IsImage(path)) fileSpaceUsed_ += bytes.size();
    files_[path] = std::move(bytes);
}

void TFlashStore::Erase(const std::string& path) {
    const auto it = files_.find(path);
    if (it == files_.end()) return;
    if (!IsImage(path)) fileSpaceUsed_ -= it->second.size();
    files_.erase(it);
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
    fileSpaceUsed_ = 0;
    const fs::path root(mirrorDir_);
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string path = "/" + it->path().lexically_relative(root).generic_string();
        if (path.ends_with(kTempSuffix) || !IsValidDevicePath(path)) continue;
        const std::uintmax_t size = it->file_size(ec);
        if (ec || !Fits(path, static_cast<std::size_t>(size))) {
            Report("not loaded, does not fit the flash: " + EscapeForLog(it->path().string()));
            ec.clear();
            continue;
        }
        std::vector<std::uint8_t> bytes;
        if (ReadWholeFile(it->path(), bytes) && Fits(path, bytes.size())) {
            Put(path, std::move(bytes));
        } else {
            Report("cannot read " + EscapeForLog(it->path().string()));
        }
    }
    if (ec) Report("cannot list " + EscapeForLog(mirrorDir_) + ": " + ec.message());
}

std::optional<std::vector<std::uint8_t>> TFlashStore::Read(const std::string& path) const {
    const auto* bytes = Find(path);
    if (bytes == nullptr) return std::nullopt;
    return *bytes;
}

const std::vector<std::uint8_t>* TFlashStore::Find(const std::string& path) const {
    const auto it = files_.find(path);
    return it == files_.end() ? nullptr : &it->second;
}

bool TFlashStore::Fits(const std::string& path, std::size_t length) const {
    if (IsImage(path)) return length <= kImageSlotBytes;
    const auto* old = Find(path);
    const std::size_t othersUse = fileSpaceUsed_ - (old ? old->size() : 0);
    return length <= SpaceOf(path) - othersUse;
}

bool TFlashStore::CanSave(const std::string& path) const {
    if (mirrorDir_.empty()) return true;
    const fs::path probe(MirrorPath(path) + kTempSuffix);
    std::error_code ec;
    fs::create_directories(probe.parent_path(), ec);
    if (ec || !WriteWholeFile(probe, {})) return false;
    fs::remove(probe, ec);
    return true;
}

EFlashResult TFlashStore::Write(const std::string& path, std::vector<std::uint8_t> bytes) {
    if (!Fits(path, bytes.size())) return EFlashResult::NoSpace;
    if (!mirrorDir_.empty()) {
        const fs::path target(MirrorPath(path));
        const fs::path temp(target.string() + kTempSuffix);
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        const bool written = !ec && WriteWholeFile(temp, bytes);
        if (written) fs::rename(temp, target, ec);
        if (!written || ec) {
            fs::remove(temp, ec);
            Report("cannot save " + EscapeForLog(path) + " to " + EscapeForLog(target.string()));
            return EFlashResult::SaveFailed;
        }
    }
    Put(path, std::move(bytes));
    return EFlashResult::Done;
}

EFlashResult TFlashStore::Remove(const std::string& path) {
    if (!files_.contains(path)) return EFlashResult::Missing;
    if (!mirrorDir_.empty()) {
        std::error_code ec;
        fs::remove(MirrorPath(path), ec);
        if (ec) {
            Report("cannot remove the saved " + EscapeForLog(path) + ": " + ec.message());
            return EFlashResult::SaveFailed;
        }
    }
    Erase(path);
    return EFlashResult::Done;
}

EFlashResult TFlashStore::RemoveUnder(const std::string& prefix) {
    std::vector<std::string> doomed;
    for (const auto& [path, bytes] : files_) {
        if (path.starts_with(prefix)) doomed.push_back(path);
    }
    EFlashResult result = EFlashResult::Done;
    for (const auto& path : doomed) {
        if (Remove(path) == EFlashResult::SaveFailed) result = EFlashResult::SaveFailed;
    }
    return result;
}

}  // namespace kstbell::sim
