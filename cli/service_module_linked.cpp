// The site service's verbs' parts linked into the program itself, as the tests run it in-process
// (the program loads them from its module instead: service_module_load.cpp).

#include "cli/service_module_parts.h"

namespace kstbell::cli {

const TServiceModule* ServiceModule(std::string& /*error*/) {
    return &ServiceModuleParts();
}

}  // namespace kstbell::cli
