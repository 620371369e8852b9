#include "cli/service_module_parts.h"

namespace kstbell::cli {

const TServiceModule& ServiceModuleParts() {
    static constexpr TServiceModule kParts{&SendToService, &ReadAuditPage};
    return kParts;
}

}  // namespace kstbell::cli
