#pragma once

// The parts of kstbellctl that need the HTTP client (cpp-httplib with OpenSSL, brotli and zlib)
// or SQLite: the site service's verbs' requests and site log's reading of the service's
// database. The program keeps them in a module of its own, kstbellctl-service.so, which it
// opens when one of those verbs runs, so that every other verb starts without loading those
// libraries; the tests link the same parts in.

#include <string>
#include <string_view>

#include "cli/service_client.h"
#include "kstbell_version.h"
#include "store/audit_query.h"

namespace kstbell::cli {

// One request to the service's API, as the HTTP client sends it.
struct TServiceRequest {
    std::string Method;  // "GET" or "POST"
    std::string Path;    // the whole path with its query: "/kstbell/api/v1/ring"
    std::string Body;
    std::string ContentType;  // of the body; none when empty
};

struct TServiceModule {
    // Sends request to the service of options; action says, for a refusal of the token's role,
    // what was asked (see TServiceClient).
    TServiceAnswer (*Send)(const TServiceOptions& options, const TServiceRequest& request,
                           std::string_view action);
    // site log: one page of the service's audit log, from the state folder stateDir (empty: the
    // service's own rule). False, with the reason, when the database cannot be read.
    bool (*ReadAudit)(const std::string& stateDir, const store::TAuditQuery& query,
                      store::TAuditPage& page, std::string& error);
};

// The module's file, and its one entry point: extern "C" const TServiceModule* ENTRY(const
// char* build), which gives the parts when build is the module's own kServiceModuleBuild (the
// module came with this program), else null.
inline constexpr const char* kServiceModuleFile = "kstbellctl-service.so";
inline constexpr const char* kServiceModuleEntry = "kstbellctl_service_module";
// The program's version, and the layout of TServiceModule's parts after the slash: raised when
// they change.
inline constexpr const char* kServiceModuleBuild = KSTBELL_VERSION "/1";

// The parts: the program loads the module on first use (service_module_load.cpp), the tests
// have them linked in (service_module_linked.cpp). Null, with the message
// "the site service's verbs need FILE: REASON", when the module cannot be loaded.
const TServiceModule* ServiceModule(std::string& error);

}  // namespace kstbell::cli
