#pragma once

// Answers the front keeps while what they show has not changed: the horns list of a large site
// is asked for by every dashboard and script and is the same between two changes, so it is
// written once per change rather than once per request. Each answer is kept under the version
// the service gave when it was read; a version of 0 (the service does not say) is never kept.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kstbell::web {

class TAnswerCache {
  public:
    using TText = std::shared_ptr<const std::string>;

    // The answer kept under this version, or null. Shared, not copied: answers are large.
    TText Get(const std::string& key, std::uint64_t version) const;
    void Put(const std::string& key, std::uint64_t version, TText text);

  private:
    struct TKept {
        std::uint64_t Version = 0;
        TText Text;
    };
    mutable std::mutex m_;
    std::map<std::string, TKept> kept_;
};

}  // namespace kstbell::web
