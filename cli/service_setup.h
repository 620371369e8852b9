#pragma once

// What the command line says about the site service, checked before anything is asked: verbs of
// the service need --service and --token-file and take no devices; verbs of horns take neither.

#include <memory>
#include <string>

#include "cli/command_line.h"
#include "cli/service_client.h"

namespace kstbell::cli {

class TReport;

// False, with the reason, when the options do not fit the verb.
bool CheckServiceOptions(const TGlobalOptions& global, const TVerbInfo& verb, std::string& error);

// The client of --service with the token of --token-file, sending through module. Nothing,
// with the reason, when the URL, the token file or the certificate file cannot be used. A token
// file open to other users, or a token about to travel unencrypted to another computer, is used
// with a warning.
std::unique_ptr<TServiceClient> MakeServiceClient(const TGlobalOptions& global,
                                                  const TServiceModule& module, TReport& report,
                                                  std::string& error);

}  // namespace kstbell::cli
