#pragma once

// The module's side of service_module.h: what kstbellctl-service.so holds, and the tests link.

#include <string>
#include <string_view>

#include "cli/service_module.h"

namespace kstbell::cli {

// The parts as the module gives them.
const TServiceModule& ServiceModuleParts();

// Sends one request with the bearer token and reads its answer (see TServiceClient).
TServiceAnswer SendToService(const TServiceOptions& options, const TServiceRequest& request,
                             std::string_view action);

// An error answer of the API in the command line's terms: the API's kind and message when the
// body holds them (else a kind from the status), with what to do for a refused token (401), a
// role that may not (403), a request to wait (429) or a service still starting.
nlohmann::ordered_json ApiError(int status, const std::string& body, const std::string& retryAfter,
                                std::string_view action);

// site log's page of the audit log (see TServiceModule::ReadAudit).
bool ReadAuditPage(const std::string& stateDir, const store::TAuditQuery& query,
                   store::TAuditPage& page, std::string& error);

}  // namespace kstbell::cli
