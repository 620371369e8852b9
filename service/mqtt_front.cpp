#include "service/mqtt_front.h"

namespace kstbell::service {

std::unique_ptr<IServiceFront> MakeMqttFront(const TServiceConfig&, std::string, site::TSite&,
                                             site::ISiteControl&, TLog, std::string& note) {
    note = "the MQTT front is not part of this build yet: [broker] is read but not served";
    return nullptr;
}

}  // namespace kstbell::service
