#pragma once

// Exceptions to the timetable added while the service runs (from the web page): a date or
// dates, both ends included, that run another day plan or no bells at all. The store keeps
// them and who added them; which plans exist, and whether one overlaps another, is for the
// service to check. Every change is logged.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/change.h"
#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

struct TScheduleException {
    std::int64_t Id = 0;  // given when added
    std::chrono::year_month_day First{};
    std::chrono::year_month_day Last{};
    std::optional<std::string> Plan{};  // the day plan those days run; nothing: no bells
    std::string Name{};                 // for people: "Staff training"
    std::string AddedBy{};              // the change's actor (read back, not added)
    TUtcTime Added{};                   // the change's time (read back, not added)

    bool operator==(const TScheduleException&) const = default;
};

class TScheduleExceptions {
  public:
    explicit TScheduleExceptions(TDatabase& db) : db_(db) {}

    // Adds the exception (from First to Name) and returns its id. Throws TStoreError(Failed)
    // for a date that is not valid or a First after Last, and nothing is added.
    std::int64_t Add(const TScheduleException& exception, const TChange& change);

    // Every exception, by first date, then the order they were added in.
    std::vector<TScheduleException> List() const;

    // False when there is no such exception.
    bool Remove(std::int64_t id, const TChange& change);

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
