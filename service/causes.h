#pragma once

// The site's causes as the audit log names them, and back.

#include <string>

#include "site/horn.h"
#include "store/audit_entry.h"

namespace kstbell::service {

store::TAuditCause AuditCause(site::TCause cause);
site::TCause SiteCause(store::TAuditCause cause);
// "schedule", "mqtt", "cli", ...: the audit log's word.
std::string CauseWord(site::TCause cause);

// A MAC as the fronts and the log show it: twelve lower-case hex digits.
std::string MacText(const site::TMac& mac);

}  // namespace kstbell::service
