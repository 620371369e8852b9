#pragma once

// The files that hold secrets (the broker password, the client certificate's key) are for their
// owner's eyes only; one that its group or others may read is worth a warning at start.

#include <string>
#include <vector>

#include "mqtt/config.h"

namespace kstbell::mqtt {

// A warning for every such file of the configuration that its group or others can read, with
// its key, path and mode. Files that cannot be examined are left to the code that reads them.
std::vector<std::string> LooseSecretFiles(const TBridgeConfig& config);

}  // namespace kstbell::mqtt
