#include "store/audit_reader.h"

#include "store/database.h"
#include "store/store.h"

namespace kstbell::store {

TAuditReader::TAuditReader(const std::filesystem::path& stateDir)
    : db_(std::make_unique<TDatabase>(DatabasePath(stateDir), TOpenMode::ReadOnly)), log_(*db_) {}

TAuditReader::~TAuditReader() = default;

}  // namespace kstbell::store
