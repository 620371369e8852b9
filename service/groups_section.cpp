#include <algorithm>
#include <set>

#include "service/site_file_parts.h"
#include "site/device_list.h"

namespace kstbell::service {

namespace {

constexpr std::size_t kLongestGroupName = 32;

}  // namespace

bool GroupMembers(const std::string& member, const std::vector<mqtt::THornEntry>& horns,
                  std::vector<std::size_t>& into, std::string& why) {
    std::vector<std::size_t> named;
    for (std::size_t i = 0; i < horns.size(); ++i)
        if (horns[i].Name == member) named.push_back(i);
    if (named.size() > 1) {
        why = "'" + member + "' is the name of " + std::to_string(named.size()) +
              " horns: give their addresses";
        return false;
    }
    if (named.size() == 1) {
        into.push_back(named.front());
        return true;
    }
    std::vector<std::string> addresses;
    std::string notAddress;
    if (!site::ExpandTarget(member, addresses, notAddress)) {
        why = "'" + member + "' is no horn's name, address or range";
        return false;
    }
    const std::set<std::string> wanted(addresses.begin(), addresses.end());
    const std::size_t before = into.size();
    for (std::size_t i = 0; i < horns.size(); ++i)
        if (wanted.count(horns[i].Address)) into.push_back(i);
    if (into.size() == before) {
        why = "'" + member + "' holds no configured horn";
        return false;
    }
    return true;
}

bool IsGroupName(const std::string& name) {
    if (name.empty() || name.size() > kLongestGroupName) return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
    });
}

void ReadGroups(const toml::node& node, const std::vector<mqtt::THornEntry>& horns,
                config::TReader& values, std::vector<TGroup>& groups) {
    const toml::table* table = values.Table(node, "groups");
    if (!table) return;
    for (const auto& [name, value] : *table) {
        const std::string groupName(name.str());
        const std::string key = "groups." + groupName;
        if (groupName == kAllGroup) {
            values.Fail(value, key, kAllGroupBuiltIn);
            continue;
        }
        if (!IsGroupName(groupName)) {
            values.Fail(value, key, kGroupNameRule);
            continue;
        }
        const toml::array* list = values.List(value, key, kGroupMembersRule);
        if (!list) continue;
        TGroup group{groupName, {}};
        for (std::size_t i = 0; i < list->size(); ++i) {
            const toml::node& item = *list->get(i);
            const std::string itemKey = key + "[" + std::to_string(i) + "]";
            const auto member = values.Text(item, itemKey);
            std::string why;
            if (member && !GroupMembers(*member, horns, group.Horns, why))
                values.Fail(item, itemKey, why);
        }
        std::sort(group.Horns.begin(), group.Horns.end());
        group.Horns.erase(std::unique(group.Horns.begin(), group.Horns.end()), group.Horns.end());
        groups.push_back(std::move(group));
    }
}

}  // namespace kstbell::service
