#pragma once

// API tokens: each belongs to a user, has a name (unique for that user, ignoring ASCII case)
// and a role, and is found by its selector, a random part of the token that is not secret.
// The secret itself is never here, only its hash, which the users layer computes and checks.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/change.h"
#include "store/utc_time.h"

namespace kstbell::store {

class TDatabase;

struct TTokenRow {
    std::int64_t Id = 0;  // given when added; how a token is revoked
    std::int64_t UserId = 0;
    std::string Name{};
    std::string Role{};
    std::string Selector{};
    std::string SecretHash{};  // bytes
    TUtcTime Created{};
    std::optional<TUtcTime> LastUsed{};
    // Of its user, as it is now (read with the token, not added).
    std::string UserName{};
    std::string UserRole{};
    bool UserDisabled = false;

    bool operator==(const TTokenRow&) const = default;
};

class TTokenRecords {
  public:
    explicit TTokenRecords(TDatabase& db) : db_(db) {}

    // Adds the token (from UserId, Name, Role, Selector, SecretHash and Created) and returns
    // its id; nothing when its user has a token of that name, or no longer exists. Throws
    // TStoreError.
    std::optional<std::int64_t> Add(const TTokenRow& token, const TChange& change);

    // Every token, by user name and token name.
    std::vector<TTokenRow> List() const;
    std::optional<TTokenRow> Find(std::int64_t id) const;
    std::optional<TTokenRow> FindBySelector(const std::string& selector) const;

    // False when there is no such token.
    bool Revoke(std::int64_t id, const TChange& change);

    // The token was used at `at` (not logged).
    void SetLastUsed(std::int64_t id, TUtcTime at);

  private:
    TDatabase& db_;
};

}  // namespace kstbell::store
