#include "users/sessions.h"

#include <algorithm>

#include "users/secret.h"

namespace kstbell::users {

namespace {

constexpr std::size_t kCsrfBytes = 32;

std::optional<TSession> SessionFromRow(const store::TSessionRow& row, store::TUtcTime expires) {
    const auto role = RoleFromName(row.UserRole);
    if (!role || row.UserDisabled) return std::nullopt;
    return TSession{row.Id, TPrincipal{row.UserId, row.UserName, *role, {}, {}}, row.Csrf, expires};
}

}  // namespace

std::optional<TNewSession> TSessions::Start(std::int64_t userId, const std::string& client,
                                            store::TUtcTime now) {
    store_.Sessions().RemoveExpired(now, now - policy_.Idle);
    const auto user = store_.Users().Find(userId);
    const auto role = user ? RoleFromName(user->Role) : std::nullopt;
    if (!role || user->Disabled) return std::nullopt;
    const TSplitSecret secret = NewSplitSecret(kSessionPrefix);
    const store::TSessionRow row{.UserId = userId,
                                 .Selector = secret.Selector,
                                 .SecretHash = secret.Hash,
                                 .Csrf = RandomText(kCsrfBytes),
                                 .Client = client,
                                 .Created = now,
                                 .Seen = now,
                                 .Expires = now + policy_.Lifetime};
    const auto id = store_.Sessions().Add(
        row, {.At = now, .Actor = user->Name, .Cause = store::TAuditCause::Http});
    if (!id) return std::nullopt;
    return TNewSession{secret.Text, TSession{*id, TPrincipal{userId, user->Name, *role, {}, {}},
                                             row.Csrf, std::min(row.Expires, now + policy_.Idle)}};
}

std::optional<TSession> TSessions::Check(std::string_view cookie, store::TUtcTime now) {
    const auto selector = SelectorOf(kSessionPrefix, cookie);
    if (!selector) return std::nullopt;
    const auto row = store_.Sessions().FindBySelector(*selector);
    if (!row || !SameSecret(HashSecret(cookie), row->SecretHash)) return std::nullopt;
    if (now >= row->Expires || now >= row->Seen + policy_.Idle) {
        store_.Sessions().RemoveExpired(now, now - policy_.Idle);
        return std::nullopt;
    }
    store::TUtcTime seen = row->Seen;
    if (now - seen >= kSeenStep || now < seen) {
        if (ClaimSeen(row->Id, now)) store_.Sessions().SetSeen(row->Id, now);
        seen = now;
    }
    return SessionFromRow(*row, std::min(row->Expires, seen + policy_.Idle));
}

bool TSessions::ClaimSeen(std::int64_t session, store::TUtcTime now) {
    const std::lock_guard lock(seenMutex_);
    const auto claimed = seenClaims_.find(session);
    if (claimed != seenClaims_.end() && now >= claimed->second && now - claimed->second < kSeenStep)
        return false;
    // Sessions that ended are forgotten now and then; a forgotten one is written again.
    if (seenClaims_.size() >= 10000) seenClaims_.clear();
    seenClaims_[session] = now;
    return true;
}

bool TSessions::End(std::string_view cookie, store::TUtcTime now, store::TAuditCause cause) {
    const auto selector = SelectorOf(kSessionPrefix, cookie);
    if (!selector) return false;
    const auto row = store_.Sessions().FindBySelector(*selector);
    if (!row || !SameSecret(HashSecret(cookie), row->SecretHash)) return false;
    return store_.Sessions().Remove(row->Id, {.At = now, .Actor = row->UserName, .Cause = cause});
}

bool CsrfMatches(const TSession& session, std::string_view presented) {
    return !session.Csrf.empty() && SameSecret(session.Csrf, presented);
}

}  // namespace kstbell::users
