#pragma once

// The service's values in the HTTP front's words, and back: roles, causes, instants, why a
// change to people was refused, audit entries.

#include <optional>
#include <string>

#include "site/horn.h"
#include "store/audit_entry.h"
#include "store/audit_query.h"
#include "users/refusal.h"
#include "users/role.h"
#include "web/api_error.h"
#include "web/port_types.h"

namespace kstbell::service {

// What the front answers (500) when the service's records cannot be read or written: the
// reason is in the service's log and in /health, not told to whoever knocks.
inline constexpr const char* kStoreUnreadable =
    "the database cannot be read; the service's log says why";

web::TRole WebRole(users::TRole role);
users::TRole UserRole(web::TRole role);
web::TCause WebCause(site::TCause cause);
web::TPresence WebPresence(TPresence presence);

web::TInstant WebTime(store::TUtcTime at);
store::TUtcTime StoreTime(web::TInstant at);

// The answer a front gives for a refused change to users or tokens.
web::TFailure WebFailure(const users::TRefusal& refusal);

web::TLogEntry WebLogEntry(const store::TAuditEntry& entry);

// The store's query for the front's, or why not (an unknown kind or cause).
std::optional<store::TAuditQuery> StoreQuery(const web::TLogQuery& query, web::TFailure& why);

// "1.4": a horn's firmware version; empty before it is identified.
std::string FirmwareText(const std::optional<site::THornIdentity>& identity);

}  // namespace kstbell::service
