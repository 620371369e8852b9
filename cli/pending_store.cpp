#include "cli/pending_store.h"

#include <filesystem>

#include "cli/config_diff.h"
#include "cli/safe_file.h"
#include "cli/snapshot_reader.h"

namespace kstbell::cli {

namespace {

bool Empty(const TSettings& s) {
    for (TSettingKind kind : AllSettingKinds())
        if (HasSetting(s, kind)) return false;
    return true;
}

}  // namespace

TPendingStore::TPendingStore(std::string folder, std::uint16_t port)
    : folder_(std::move(folder)), port_(port) {}

std::string TPendingStore::FileOf(const std::string& address) const {
    return (std::filesystem::path(folder_) / "pending" /
            (address + "-" + std::to_string(port_) + ".json"))
        .string();
}

TSettings TPendingStore::Load(const std::string& address) const {
    TSettings pending;
    std::string error;
    if (folder_.empty() || !ReadSnapshotFile(FileOf(address), pending, error)) return {};
    return pending;
}

void TPendingStore::Store(const std::string& address, const TSettings& pending) const {
    if (folder_.empty()) return;
    const std::string file = FileOf(address);
    std::error_code ec;
    if (Empty(pending)) {
        std::filesystem::remove(file, ec);
        return;
    }
    TSettings withoutKeys = pending;
    if (withoutKeys.AccessPoint) withoutKeys.AccessPoint->Key.clear();
    if (withoutKeys.Station) withoutKeys.Station->Key.clear();
    const nlohmann::ordered_json doc{{"format", kSnapshotFormat},
                                     {"settings", SettingsJson(withoutKeys)}};
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    // The record only ever adds a remark; a folder that cannot be written costs nothing else.
    std::string error;
    WriteFileWhole(file,
                   doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n",
                   true, error);
}

TSettings TPendingStore::Pending(const std::string& address, const TSettings& running) const {
    TSettings pending = Load(address);
    bool dropped = false;
    for (TSettingKind kind : AllSettingKinds()) {
        if (HasSetting(pending, kind) && !SettingDiffers(running, pending, kind)) {
            CopySetting(pending, TSettings{}, kind);
            dropped = true;
        }
    }
    if (dropped) Store(address, pending);
    return pending;
}

void TPendingStore::Written(const std::string& address, const TSettings& written) const {
    if (folder_.empty()) return;
    TSettings pending = Load(address);
    for (TSettingKind kind : AllSettingKinds())
        if (HasSetting(written, kind)) CopySetting(pending, written, kind);
    Store(address, pending);
}

void TPendingStore::Restarted(const std::string& address) const {
    Store(address, {});
}

}  // namespace kstbell::cli
