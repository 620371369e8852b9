// The entry point of kstbellctl-service.so, kstbellctl's module of the site service's verbs
// (see service_module.h): the one symbol it exports.

#include <cstring>

#include "cli/service_module_parts.h"

extern "C" __attribute__((visibility("default"))) const kstbell::cli::TServiceModule*
kstbellctl_service_module(const char* build) {
    if (std::strcmp(build, kstbell::cli::kServiceModuleBuild) != 0) return nullptr;
    return &kstbell::cli::ServiceModuleParts();
}
