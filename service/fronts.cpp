#include "service/fronts.h"

#include <utility>

#include "service/mqtt_front.h"
#include "service/web_front.h"

namespace kstbell::service {

TServiceOptions WithFronts(TServiceOptions options) {
    options.MakeMqttFront = [](TService& service) {
        // The names and groups as they are at the start: the MQTT front's discovery takes
        // later changes at the next start.
        return MakeMqttFront(service.NamedConfig(), service.Options().BrokerPassword,
                             service.Site(), service, service.WebUrl(), service.Options().Log);
    };
    options.MakeWebFront = [](TService& service) {
        return MakeWebFront(service, service.Options().Log);
    };
    return options;
}

}  // namespace kstbell::service
