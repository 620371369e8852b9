#pragma once

// The service's fronts put together: the one place that knows both the service and the fronts
// it runs, so that neither the service nor a front includes the other's making.

#include "service/service.h"

namespace kstbell::service {

// Options that make the MQTT front (site file with a [broker] table) and the HTTP front (an
// [http] table, or --simulate) when the service starts.
TServiceOptions WithFronts(TServiceOptions options);

}  // namespace kstbell::service
