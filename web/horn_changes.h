#pragma once

// Which horns changed since a version of the horns list a client holds, so that a dashboard or
// script that polls a large site fetches only what moved. The front notes each list it reads
// under the version the service gave for it; a horn's entry records the last noted version at
// which it looked different. A version the front never noted (or one so old that it was
// forgotten) is answered with the whole list.

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "web/port_types.h"

namespace kstbell::web {

class THornChanges {
  public:
    // How many noted versions a client may hold and still get only the changes.
    static constexpr std::size_t kKeptVersions = 4096;

    // The list as read under version (versions only grow; 0 is never noted).
    void Note(std::uint64_t version, const std::vector<THornInfo>& horns);

    // The horns of horns (the list noted last) that changed after the noted version since;
    // nothing when since was not noted, so that the caller answers with the whole list.
    std::optional<std::vector<THornInfo>> Since(std::uint64_t since,
                                                const std::vector<THornInfo>& horns) const;

  private:
    struct THorn {
        std::uint64_t ChangedAt = 0;
        THornInfo Last;
    };
    mutable std::mutex m_;
    std::deque<std::uint64_t> noted_;  // oldest first
    std::map<std::string, THorn> horns_;
};

}  // namespace kstbell::web
