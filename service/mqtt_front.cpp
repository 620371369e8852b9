#include "service/mqtt_front.h"

#include "service/mqtt/site_mqtt.h"

namespace kstbell::service {

namespace {

// The bridge's front for the service, behind the service's front interface.
class TMqttFront final : public IServiceFront {
  public:
    TMqttFront(const TServiceConfig& config, std::string password, site::TSite& site,
               site::ISiteControl& control, std::string webUrl, TLog log)
        : front_(config.Bridge, config.Horns, std::move(password), site, control,
                 Info(config, std::move(webUrl)), std::move(log)) {}

    bool Start(std::string& error) override { return front_.Start(error); }
    void Stop() override { front_.Stop(); }
    void OnHornEvents(const std::vector<site::THornEvent>& events) override {
        front_.OnHornEvents(events);
    }
    void OnRingStarted(const site::TRingStart& start) override { front_.OnRingStarted(start); }
    void OnRingEnded(const site::TRingEnd& end, site::TCause cause, site::TInstant when) override {
        front_.OnRingEnded(end, cause, when);
    }

  private:
    static TSiteMqttInfo Info(const TServiceConfig& config, std::string webUrl) {
        TSiteMqttInfo info;
        info.ConfigurationUrl = std::move(webUrl);
        info.SiteName = config.Site.Name;
        for (const auto& group : config.Groups)
            info.Groups.push_back(group.Name);
        for (const auto& alarm : config.Alarms)
            info.Alarms.emplace_back(alarm.Name, alarm.Label);
        info.MaxRing = config.Site.MaxRing;
        return info;
    }

    TSiteMqtt front_;
};

}  // namespace

std::unique_ptr<IServiceFront> MakeMqttFront(const TServiceConfig& config, std::string password,
                                             site::TSite& site, site::ISiteControl& control,
                                             std::string webUrl, TLog log) {
    return std::make_unique<TMqttFront>(config, std::move(password), site, control,
                                        std::move(webUrl), std::move(log));
}

}  // namespace kstbell::service
