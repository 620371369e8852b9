#pragma once

// Browser sessions: each belongs to a user and is found by its selector, a random part of the
// session's cookie that is not secret; the secret part is here only as a hash. A session holds
// its CSRF token (worthless without the cookie, and the page must be able to fetch it again),
// the client's address, and when it was created, last seen and ends at the latest.

#include <cstdint>
#include <optional>
#include <string>

#include "store/change.h"
#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

struct TSessionRow {
    std::int64_t Id = 0;  // given when added
    std::int64_t UserId = 0;
    std::string Selector{};
    std::string SecretHash{};  // bytes
    std::string Csrf{};
    std::string Client{};
    TUtcTime Created{};
    TUtcTime Seen{};
    TUtcTime Expires{};
    // Of its user, as it is now (read with the session, not added).
    std::string UserName{};
    std::string UserRole{};
    bool UserDisabled = false;

    bool operator==(const TSessionRow&) const = default;
};

class TSessionRecords {
  public:
    explicit TSessionRecords(TDatabase& db) : db_(db) {}

    // Adds the session (from UserId to Expires; Seen is Created) and logs the login. Nothing
    // when the user no longer exists. Throws TStoreError.
    std::optional<std::int64_t> Add(const TSessionRow& session, const TChange& change);

    std::optional<TSessionRow> FindBySelector(const std::string& selector) const;

    // The session was used at `at` (not logged).
    void SetSeen(std::int64_t id, TUtcTime at);

    // Ends the session and logs the logout; false when there is no such session.
    bool Remove(std::int64_t id, const TChange& change);

    // Removes sessions that ended by now: past their end, or not seen since idleCutoff.
    // Returns how many (not logged: nobody ended them).
    int RemoveExpired(TUtcTime now, TUtcTime idleCutoff);

    // How many sessions the user has.
    int Count(std::int64_t userId) const;

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
