#pragma once

// Where the horns' names and the groups live when the site file does not give them: names by
// horn address, groups by name (each a list of addresses), and one revision number for the
// whole. A save names the revision it was made from and is refused when another one came in
// between. The service holds only ISiteNamesStore, so these may also live elsewhere.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "store/audit_entry.h"

namespace kstbell::store {

class TDatabase;

struct TSiteNameSet {
    std::int64_t Revision = 0;                                 // 0: nothing saved yet
    std::map<std::string, std::string> HornNames{};            // address: name (never empty)
    std::map<std::string, std::vector<std::string>> Groups{};  // name: addresses, ascending

    bool operator==(const TSiteNameSet&) const = default;
};

struct TSiteNamesSave {
    bool Saved = false;
    // The new set when saved (its revision one more); else the one that is current.
    TSiteNameSet Current{};
};

class ISiteNamesStore {
  public:
    virtual ~ISiteNamesStore() = default;

    virtual TSiteNameSet Current() const = 0;
    // Replaces the whole set when `expected` is the current revision, with the audit entry in
    // the same step; otherwise changes nothing and gives the current set.
    virtual TSiteNamesSave Save(std::int64_t expected, const TSiteNameSet& names,
                                const TAuditEntry& entry) = 0;
};

// The set in the service's SQLite database. Throws TStoreError when it cannot be read or
// written.
class TSiteNameRecords final : public ISiteNamesStore {
  public:
    explicit TSiteNameRecords(TDatabase& db) : db_(db) {}

    TSiteNameSet Current() const override;
    TSiteNamesSave Save(std::int64_t expected, const TSiteNameSet& names,
                        const TAuditEntry& entry) override;

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
