#include "service/web_front.h"

#include <algorithm>

#include "kstbell_version.h"
#include "service/service.h"
#include "service/web_port.h"
#include "web/http_front.h"

namespace kstbell::service {

namespace {

#ifndef KSTBELL_PAGE_DIR
#define KSTBELL_PAGE_DIR "/usr/share/kstbell/web"
#endif

class THttpFront final : public IWebFront {
  public:
    THttpFront(TService& service, TLog log)
        : port_(service, service.Config().Http->SessionIdle),
          front_(port_, Options(service, std::move(log))) {}

    bool Start(std::string& error) override { return front_.Start(error); }
    void Stop() override { front_.Stop(); }
    std::string Url() const override { return front_.Url(); }
    void SetReady(bool ready) override { port_.SetReady(ready); }

    void OnHornEvents(const std::vector<site::THornEvent>& events) override {
        port_.OnHornEvents(events);
    }
    void OnRingStarted(const site::TRingStart& start) override { port_.OnRingStarted(start); }
    void OnRingEnded(const site::TRingEnd& end, site::TCause cause, site::TInstant when) override {
        port_.OnRingEnded(end, cause, when);
    }
    void OnBellMissed(const calendar::TScheduledBell& bell, const std::string& reason) override {
        port_.OnBellMissed(bell, reason);
    }

  private:
    static web::TWebFrontOptions Options(const TService& service, TLog log) {
        web::TWebFrontOptions options;
        options.Config = *service.Config().Http;
        options.PageDir = service.Options().PageDir.empty()
                              ? std::filesystem::path(KSTBELL_PAGE_DIR)
                              : service.Options().PageDir;
        options.Version = KSTBELL_VERSION;
        // A ring on every horn sends an event per horn at once: room for two per horn.
        options.StreamQueueFrames =
            std::max<std::size_t>(options.StreamQueueFrames, 2 * service.Config().Horns.size());
        // The front's lines name themselves ("http: POST ..."): passed on as they are.
        options.Log = [log = std::move(log)](const std::string& line) {
            if (log) log(line);
        };
        return options;
    }

    TWebPort port_;
    web::TWebFront front_;
};

}  // namespace

std::unique_ptr<IWebFront> MakeWebFront(TService& service, TLog log) {
    return std::make_unique<THttpFront>(service, std::move(log));
}

}  // namespace kstbell::service
