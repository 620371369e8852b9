#include "web/horn_changes.h"

#include <algorithm>

namespace kstbell::web {

void THornChanges::Note(std::uint64_t version, const std::vector<THornInfo>& horns) {
    if (version == 0) return;
    const std::lock_guard lock(m_);
    if (!noted_.empty() && version <= noted_.back()) return;
    for (const auto& horn : horns) {
        const auto [it, added] = horns_.try_emplace(horn.Address, THorn{version, horn});
        if (!added && it->second.Last != horn) it->second = {version, horn};
    }
    noted_.push_back(version);
    if (noted_.size() > kKeptVersions) noted_.pop_front();
}

std::optional<std::vector<THornInfo>> THornChanges::Since(
    std::uint64_t since, const std::vector<THornInfo>& horns) const {
    const std::lock_guard lock(m_);
    if (!std::binary_search(noted_.begin(), noted_.end(), since)) return std::nullopt;
    std::vector<THornInfo> changed;
    for (const auto& horn : horns) {
        const auto found = horns_.find(horn.Address);
        if (found == horns_.end() || found->second.ChangedAt > since) changed.push_back(horn);
    }
    return changed;
}

}  // namespace kstbell::web
