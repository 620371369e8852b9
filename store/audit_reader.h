#pragma once

// The audit log read by another program than the service (kstbellctl), beside a running
// service or without one: the file is opened for reading only and never created, set up or
// changed.

#include <filesystem>
#include <memory>

#include "store/audit_log.h"

namespace kstbell::store {

class TDatabase;

class TAuditReader {
  public:
    // Opens the database in stateDir. Throws TStoreError: CannotOpen (no such file), NotOurs,
    // TooNew, TooOld.
    explicit TAuditReader(const std::filesystem::path& stateDir);
    ~TAuditReader();
    TAuditReader(const TAuditReader&) = delete;
    TAuditReader& operator=(const TAuditReader&) = delete;

    // One page of the log (see TAuditQuery). Throws TStoreError.
    TAuditPage Query(const TAuditQuery& query) const { return log_.Query(query); }

  private:
    std::unique_ptr<TDatabase> db_;
    TAuditLog log_;
};

}  // namespace kstbell::store
