#pragma once

// The horns' names and the groups as they stand. Each part has one home: the site file, when
// it gives a horn's name or has a [groups] table, or else the database, where people change it
// while the service runs (store::ISiteNamesStore). Read from any thread under one lock: a ring
// asked for a group takes the group as it is at that moment.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "service/service_config.h"
#include "store/change.h"
#include "store/site_names_store.h"

namespace kstbell::service {

struct TNamesOutcome {
    enum class EResult { Done, FileOwned, InUse, Invalid, NotFound, Failed };
    EResult Result = EResult::Done;
    std::string Error{};  // for people: why not
    bool Ok() const { return Result == EResult::Done; }
};

class TSiteNames {
  public:
    TSiteNames(const TServiceConfig& config, store::ISiteNamesStore& store);

    // Takes up what the database holds (at the start); lines for people about what is left out
    // (a horn no longer configured). Throws store::TStoreError.
    std::vector<std::string> Load();

    bool GroupsFromFile() const { return config_.GroupsGiven; }
    bool NameFromFile(std::size_t horn) const;
    std::int64_t Revision() const;

    // The horn's name now (the file's or the database's), empty when it has none.
    std::string Name(std::size_t horn) const;
    std::vector<std::string> Names() const;
    // "10.0.1.20 (Gym)", or the address alone.
    std::string HornText(std::size_t horn) const;
    // "all" first, then the file's in its order, or the database's by name.
    std::vector<TGroup> Groups() const;
    std::vector<std::string> GroupNames() const;
    std::optional<std::vector<std::size_t>> GroupHorns(const std::string& group) const;
    bool HasGroup(const std::string& group) const { return GroupHorns(group).has_value(); }

    // An empty name clears the database's. Checked as the file's horn names are.
    TNamesOutcome Rename(std::size_t horn, const std::string& name, const store::TChange& change);
    // members: each a horn's name, address or range, as in the file's [groups].
    TNamesOutcome SetGroup(const std::string& group, const std::vector<std::string>& members,
                           const store::TChange& change);
    TNamesOutcome RemoveGroup(const std::string& group, const store::TChange& change);

  private:
    using TEdit = std::function<std::optional<std::string>(store::TSiteNameSet&)>;
    // Applies edit to the current set and saves it; once more on a newer set when another
    // program saved in between. edit gives the audit entry's detail, or nothing for no change.
    TNamesOutcome Save(const TEdit& edit, store::TAuditEntry entry);
    void Take(store::TSiteNameSet set);             // under m_
    std::vector<mqtt::THornEntry> Entries() const;  // under m_: the horns with today's names

    const TServiceConfig& config_;
    store::ISiteNamesStore& store_;
    std::mutex saveMutex_;  // one save at a time
    mutable std::mutex m_;  // what is read
    store::TSiteNameSet kept_;
    std::vector<std::string> names_;  // per horn
    std::vector<TGroup> groups_;
};

}  // namespace kstbell::service
