#pragma once

// Where the site's timetable is kept when the site file has none: a line of revisions, each the
// whole document (JSON text, which the store does not read), who saved it, when, and a short
// summary of what changed. A save names the revision it was made from and is refused when
// another one came in between, so two people editing at once never undo each other unseen.
// The service holds only ITimetableStore, so the revisions may also live elsewhere (another
// PC) with the service unchanged.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/change.h"
#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

struct TTimetableRevision {
    std::int64_t Revision = 0;  // 1, 2, ...; 0: none saved yet
    std::string ChangedBy{};
    TUtcTime ChangedAt{};
    std::string Document{};  // the whole timetable; empty in History()
    std::string Summary{};   // "plan school_day: 1 bell added"

    bool operator==(const TTimetableRevision&) const = default;
};

struct TTimetableSave {
    bool Saved = false;
    // The new revision when saved; else the one that is current (who came in between).
    TTimetableRevision Current{};
};

class ITimetableStore {
  public:
    virtual ~ITimetableStore() = default;

    // The newest revision, or nothing before the first save.
    virtual std::optional<TTimetableRevision> Current() const = 0;
    virtual std::optional<TTimetableRevision> Revision(std::int64_t revision) const = 0;
    // At most limit revisions, newest first, without their documents.
    virtual std::vector<TTimetableRevision> History(std::size_t limit) const = 0;
    // Saves document as the next revision when `expected` is the current one (0: none saved
    // yet), with its audit entry; otherwise changes nothing and gives the current one.
    virtual TTimetableSave Save(std::int64_t expected, const std::string& document,
                                const std::string& summary, const TChange& change) = 0;
};

// The revisions in the service's SQLite database. Throws TStoreError when it cannot be read or
// written.
class TTimetableRevisions final : public ITimetableStore {
  public:
    explicit TTimetableRevisions(TDatabase& db) : db_(db) {}

    std::optional<TTimetableRevision> Current() const override;
    std::optional<TTimetableRevision> Revision(std::int64_t revision) const override;
    std::vector<TTimetableRevision> History(std::size_t limit) const override;
    TTimetableSave Save(std::int64_t expected, const std::string& document,
                        const std::string& summary, const TChange& change) override;

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
