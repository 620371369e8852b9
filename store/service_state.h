#pragma once

// A few named values the service keeps for itself across restarts, such as the last instant
// its scheduler dealt with (so that bells missed while it was down can be recorded).

#include <optional>
#include <string>

#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

class TServiceState {
  public:
    explicit TServiceState(TDatabase& db) : db_(db) {}

    // Throws TStoreError.
    std::optional<std::string> Get(const std::string& key) const;
    void Set(const std::string& key, const std::string& value);
    void Erase(const std::string& key);

    // An instant kept as its millisecond count; nothing when unset or not an instant.
    std::optional<TUtcTime> GetTime(const std::string& key) const;
    void SetTime(const std::string& key, TUtcTime value);

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
