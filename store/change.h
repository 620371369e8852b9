#pragma once

// Who changes the service's people or timetable, and when. The store appends the change's
// audit entry in the same transaction as the change, so one is never kept without the other.

#include <string>

#include "store/audit_entry.h"
#include "store/utc_time.h"

namespace kstbell::store {

struct TChange {
    TUtcTime At{};
    std::string Actor{};  // the user or token that asked; the system account on the command line
    TAuditCause Cause = TAuditCause::Service;
};

// The audit entry of a change of this kind, about this.
inline TAuditEntry ChangeEntry(const TChange& change, TAuditKind kind, std::string detail) {
    return {.At = change.At,
            .Kind = kind,
            .Cause = change.Cause,
            .Actor = change.Actor,
            .Detail = std::move(detail)};
}

}  // namespace kstbell::store
