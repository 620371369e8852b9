#pragma once

// The service's MQTT front, made when the site file has a [broker] table.

#include <memory>
#include <string>

#include "service/log_sink.h"
#include "service/service_config.h"
#include "service/service_front.h"
#include "site/control.h"

namespace kstbell::service {

// The bridge's site front (TSiteMqtt) on the file's broker and topics, showing the site's groups
// and alarms, asking the service through control. webUrl: the HTTP front's address, which the
// site's and the horns' devices link to (empty: it does not run).
std::unique_ptr<IServiceFront> MakeMqttFront(const TServiceConfig& config, std::string password,
                                             site::TSite& site, site::ISiteControl& control,
                                             std::string webUrl, TLog log);

}  // namespace kstbell::service
