#include "web/answer_cache.h"

namespace kstbell::web {

TAnswerCache::TText TAnswerCache::Get(const std::string& key, std::uint64_t version) const {
    if (version == 0) return nullptr;
    const std::lock_guard lock(m_);
    const auto found = kept_.find(key);
    if (found == kept_.end() || found->second.Version != version) return nullptr;
    return found->second.Text;
}

void TAnswerCache::Put(const std::string& key, std::uint64_t version, TText text) {
    if (version == 0) return;
    const std::lock_guard lock(m_);
    kept_[key] = {version, std::move(text)};
}

}  // namespace kstbell::web
