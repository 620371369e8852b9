#pragma once

// The service's MQTT front, made when the site file has a [broker] table.

#include <memory>
#include <string>

#include "service/log_sink.h"
#include "service/service_config.h"
#include "service/service_front.h"
#include "site/control.h"

namespace kstbell::service {

// The front, or nothing (with the reason in note) when this build has none.
std::unique_ptr<IServiceFront> MakeMqttFront(const TServiceConfig& config, std::string password,
                                             site::TSite& site, site::ISiteControl& control,
                                             TLog log, std::string& note);

}  // namespace kstbell::service
