// The module's reading of the site service's database for site log (SQLite, through store/).

#include <cstdlib>
#include <filesystem>

#include "cli/service_module_parts.h"
#include "store/audit_reader.h"
#include "store/state_folder.h"
#include "store/store.h"
#include "store/store_error.h"

namespace kstbell::cli {

namespace {

// --state-dir, else the service's own rule ($STATE_DIRECTORY), else the system service's folder
// when it holds a database, else this user's.
std::filesystem::path StateFolder(const std::string& given) {
    if (!given.empty()) return given;
    if (std::getenv("STATE_DIRECTORY")) return store::ServiceStateFolder({});
    std::error_code ec;
    if (std::filesystem::exists(store::DatabasePath(store::kSystemStateFolder), ec))
        return store::kSystemStateFolder;
    return store::ServiceStateFolder({});
}

}  // namespace

bool ReadAuditPage(const std::string& stateDir, const store::TAuditQuery& query,
                   store::TAuditPage& page, std::string& error) {
    const std::filesystem::path folder = StateFolder(stateDir);
    try {
        const store::TAuditReader reader(folder);
        page = reader.Query(query);
    } catch (const store::TStoreError& e) {
        error = e.what();
        return false;
    }
    return true;
}

}  // namespace kstbell::cli
