#pragma once

// The names the horns show as devices of the automation system. Each shows its DisplayName
// (the configured name, else its location, else "Horn ID"); horns whose names are the same,
// ignoring case and spaces around them, would be one name twice in every list of devices, so
// each of them adds the last six digits of its id, its own half of the MAC address (the first
// half names the maker): "Office (3c6001)". The rule looks at every horn at once, so a horn that
// gets a name another has changes both; it is run again whenever a name or location changes.

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mqtt/horn_view.h"

namespace kstbell::mqtt {

// The device names of these horns, in their order.
std::vector<std::string> DeviceNames(const std::vector<THornIdentity>& horns);

// The same rule kept up to date horn by horn, for a program whose horns are identified (and
// renamed) one at a time.
class THornNames {
  public:
    explicit THornNames(std::size_t horns);

    // Horn index is now identity (nothing: not identified). Returns every horn whose device
    // name changed with it, index itself included when its own did.
    std::vector<std::size_t> Set(std::size_t index, std::optional<THornIdentity> identity);
    // Empty for a horn not identified.
    const std::string& Name(std::size_t index) const { return name_.at(index); }
    const std::optional<THornIdentity>& Identity(std::size_t index) const {
        return identity_.at(index);
    }

  private:
    std::vector<std::optional<THornIdentity>> identity_;
    std::vector<std::string> key_;  // the display name as compared
    std::vector<std::string> name_;
    std::map<std::string, std::set<std::size_t>> byKey_;
};

}  // namespace kstbell::mqtt
