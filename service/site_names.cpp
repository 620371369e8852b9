#include "service/site_names.h"

#include <algorithm>
#include <map>
#include <set>

#include "protocol/format_characters.h"
#include "service/event_text.h"
#include "service/site_file_parts.h"

namespace kstbell::service {

namespace {

using EResult = TNamesOutcome::EResult;

TNamesOutcome Outcome(EResult result, std::string error) {
    return {result, std::move(error)};
}

std::string Quoted(const std::string& text) {
    return "\"" + Printable(text) + "\"";
}

std::string Listed(const std::vector<std::string>& addresses) {
    std::string out;
    for (const auto& a : addresses)
        out += (out.empty() ? "" : ", ") + a;
    return out;
}

}  // namespace

TSiteNames::TSiteNames(const TServiceConfig& config, store::ISiteNamesStore& store)
    : config_(config), store_(store) {
    Take({});
}

std::vector<std::string> TSiteNames::Load() {
    auto set = store_.Current();
    std::vector<std::string> lines;
    std::set<std::string> configured;
    for (const auto& h : config_.Horns)
        configured.insert(h.Address);
    for (const auto& [address, name] : set.HornNames)
        if (!configured.count(address))
            lines.push_back("the name \"" + Printable(name) + "\" of " + address +
                            " in the database is left out: no such horn is configured");
    if (!config_.GroupsGiven) {
        for (const auto& [group, addresses] : set.Groups)
            for (const auto& address : addresses)
                if (!configured.count(address))
                    lines.push_back("group " + group + " in the database: " + address +
                                    " is left out: no such horn is configured");
    } else if (!set.Groups.empty()) {
        lines.push_back("the groups in the database are left out: the site file has [groups]");
    }
    const std::lock_guard lock(m_);
    Take(std::move(set));
    return lines;
}

void TSiteNames::Take(store::TSiteNameSet set) {
    kept_ = std::move(set);
    names_.clear();
    for (const auto& h : config_.Horns) {
        const auto kept = kept_.HornNames.find(h.Address);
        names_.push_back(!h.Name.empty() || kept == kept_.HornNames.end() ? h.Name : kept->second);
    }
    if (config_.GroupsGiven) {
        groups_ = config_.Groups;
        return;
    }
    groups_.clear();
    if (!config_.Groups.empty()) groups_.push_back(config_.Groups.front());  // "all"
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < config_.Horns.size(); ++i)
        index.emplace(config_.Horns[i].Address, i);
    for (const auto& [group, addresses] : kept_.Groups) {
        TGroup g{group, {}};
        for (const auto& address : addresses)
            if (const auto found = index.find(address); found != index.end())
                g.Horns.push_back(found->second);
        std::sort(g.Horns.begin(), g.Horns.end());
        groups_.push_back(std::move(g));
    }
}

bool TSiteNames::NameFromFile(std::size_t horn) const {
    return horn < config_.Horns.size() && !config_.Horns[horn].Name.empty();
}

std::int64_t TSiteNames::Revision() const {
    const std::lock_guard lock(m_);
    return kept_.Revision;
}

std::string TSiteNames::Name(std::size_t horn) const {
    const std::lock_guard lock(m_);
    return horn < names_.size() ? names_[horn] : std::string();
}

std::vector<std::string> TSiteNames::Names() const {
    const std::lock_guard lock(m_);
    return names_;
}

std::string TSiteNames::HornText(std::size_t horn) const {
    if (horn >= config_.Horns.size()) return "horn " + std::to_string(horn);
    const std::string name = Name(horn);
    const std::string& address = config_.Horns[horn].Address;
    return name.empty() ? address : address + " (" + Printable(name) + ")";
}

std::vector<TGroup> TSiteNames::Groups() const {
    const std::lock_guard lock(m_);
    return groups_;
}

std::vector<std::string> TSiteNames::GroupNames() const {
    const std::lock_guard lock(m_);
    std::vector<std::string> out;
    for (const auto& g : groups_)
        out.push_back(g.Name);
    return out;
}

std::optional<std::vector<std::size_t>> TSiteNames::GroupHorns(const std::string& group) const {
    const std::lock_guard lock(m_);
    for (const auto& g : groups_)
        if (g.Name == group) return g.Horns;
    return std::nullopt;
}

std::vector<mqtt::THornEntry> TSiteNames::Entries() const {
    std::vector<mqtt::THornEntry> out = config_.Horns;
    for (std::size_t i = 0; i < out.size() && i < names_.size(); ++i)
        out[i].Name = names_[i];
    return out;
}

TNamesOutcome TSiteNames::Save(const TEdit& edit, store::TAuditEntry entry) {
    const std::lock_guard saving(saveMutex_);
    store::TSiteNameSet set;
    {
        const std::lock_guard lock(m_);
        set = kept_;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        store::TSiteNameSet next = set;
        const auto detail = edit(next);
        if (!detail) return {};
        entry.Detail = *detail;
        store::TSiteNamesSave saved;
        try {
            saved = store_.Save(set.Revision, next, entry);
        } catch (const std::exception& e) {
            return Outcome(EResult::Failed, e.what());
        }
        const std::lock_guard lock(m_);
        Take(saved.Current);
        if (saved.Saved) return {};
        set = saved.Current;  // another program saved in between: once more on its set
    }
    return Outcome(EResult::Failed, "the names were changed elsewhere meanwhile: try again");
}

TNamesOutcome TSiteNames::Rename(std::size_t horn, const std::string& name,
                                 const store::TChange& change) {
    if (horn >= config_.Horns.size()) return Outcome(EResult::NotFound, "no such horn");
    const std::string& address = config_.Horns[horn].Address;
    if (NameFromFile(horn))
        return Outcome(EResult::FileOwned, "the name of " + address + " is set in the site file");
    if (const auto invisible = FormatCharacterText(name))
        return Outcome(EResult::Invalid, "key 'name': must not hold " + *invisible);
    store::TAuditEntry entry = store::ChangeEntry(change, store::TAuditKind::HornRenamed, {});
    entry.HornAddress = address;
    return Save(
        [&](store::TSiteNameSet& set) -> std::optional<std::string> {
            const auto found = set.HornNames.find(address);
            const std::string was = found == set.HornNames.end() ? "" : found->second;
            if (was == name) return std::nullopt;
            if (name.empty())
                set.HornNames.erase(address);
            else
                set.HornNames[address] = name;
            const std::string before = was.empty() ? "" : " (was " + Quoted(was) + ")";
            return name.empty() ? "name cleared" + before : "named " + Quoted(name) + before;
        },
        std::move(entry));
}

TNamesOutcome TSiteNames::SetGroup(const std::string& group,
                                   const std::vector<std::string>& members,
                                   const store::TChange& change) {
    if (config_.GroupsGiven)
        return Outcome(EResult::FileOwned, "the groups are set in the site file");
    if (group == kAllGroup) return Outcome(EResult::Invalid, kAllGroupBuiltIn);
    if (!IsGroupName(group)) return Outcome(EResult::Invalid, kGroupNameRule);
    if (members.empty())
        return Outcome(EResult::Invalid, std::string("key 'horns': ") + kGroupMembersRule);
    std::vector<std::size_t> horns;
    {
        const std::lock_guard lock(m_);
        const auto entries = Entries();
        for (std::size_t i = 0; i < members.size(); ++i) {
            std::string why;
            if (!GroupMembers(members[i], entries, horns, why))
                return Outcome(EResult::Invalid, "key 'horns[" + std::to_string(i) + "]': " + why);
        }
    }
    std::vector<std::string> addresses;
    for (std::size_t h : horns)
        addresses.push_back(config_.Horns[h].Address);
    std::sort(addresses.begin(), addresses.end());
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    store::TAuditEntry entry = store::ChangeEntry(change, store::TAuditKind::GroupChanged, {});
    entry.Group = group;
    return Save(
        [&](store::TSiteNameSet& set) -> std::optional<std::string> {
            const auto found = set.Groups.find(group);
            if (found == set.Groups.end()) {
                set.Groups[group] = addresses;
                return "group " + group + " added: " + Listed(addresses);
            }
            if (found->second == addresses) return std::nullopt;
            std::vector<std::string> added, removed;
            std::set_difference(addresses.begin(), addresses.end(), found->second.begin(),
                                found->second.end(), std::back_inserter(added));
            std::set_difference(found->second.begin(), found->second.end(), addresses.begin(),
                                addresses.end(), std::back_inserter(removed));
            found->second = addresses;
            std::string detail = "group " + group + ":";
            if (!added.empty()) detail += " " + Listed(added) + " added";
            if (!removed.empty())
                detail +=
                    std::string(added.empty() ? "" : ";") + " " + Listed(removed) + " removed";
            return detail;
        },
        std::move(entry));
}

TNamesOutcome TSiteNames::RemoveGroup(const std::string& group, const store::TChange& change) {
    if (config_.GroupsGiven)
        return Outcome(EResult::FileOwned, "the groups are set in the site file");
    if (group == kAllGroup)
        return Outcome(EResult::Invalid, "'all' is built in (every horn) and cannot be removed");
    if (!HasGroup(group)) return Outcome(EResult::NotFound, "no group named '" + group + "'");
    store::TAuditEntry entry = store::ChangeEntry(change, store::TAuditKind::GroupChanged, {});
    entry.Group = group;
    return Save(
        [&](store::TSiteNameSet& set) -> std::optional<std::string> {
            const auto found = set.Groups.find(group);
            if (found == set.Groups.end()) return std::nullopt;
            const std::string detail =
                "group " + group + " removed (it held " + Listed(found->second) + ")";
            set.Groups.erase(found);
            return detail;
        },
        std::move(entry));
}

}  // namespace kstbell::service
