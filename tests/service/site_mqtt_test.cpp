// The site service's MQTT front against the real broker, a real site over four simulated horns
// (polled every kPeriodMs, rings at most kMaxRing) and a site control that does what the service
// would and notes every call. Groups: "all", "front" (horns 0, 1), "back" (2, 3). Alarms:
// "evacuation" (label "Evacuation", every horn, 20 s) and "drill" (label "Fire drill", horn 3,
// 1.2 s).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iterator>
#include <map>
#include <mutex>
#include <thread>

#include "bridge/bridge_fixture.h"
#include "kstbell_version.h"
#include "platform/backends.h"
#include "service/mqtt/site_mqtt.h"
#include "site/control.h"

namespace kstbell::mqtt::test {
namespace {

using nlohmann::json;
using site::TCause;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr site::TMillis kMaxRing{3000};
const std::string kObject = std::string("kstbell_site_") + kBase;
// The service's page as the front is told it (nothing listens there).
constexpr const char* kPage = "http://127.0.0.1:8786/";

class TTestControl : public site::ISiteControl {
  public:
    explicit TTestControl(site::TSite& site) : site_(site) {}

    std::vector<std::string> GroupNames() const override { return {"all", "front", "back"}; }
    std::optional<std::vector<std::size_t>> GroupHorns(const std::string& g) const override {
        const auto found = groups_.find(g);
        if (found == groups_.end()) return std::nullopt;
        return found->second;
    }
    std::vector<std::string> AlarmNames() const override { return {"evacuation", "drill"}; }

    // The next ring is noted and then waits until Release: what comes meanwhile gathers
    // behind it.
    void HoldNextRing() {
        const std::lock_guard lock(m_);
        holdNext_ = true;
    }
    void Release() {
        const std::lock_guard lock(m_);
        holding_ = false;
        released_.notify_all();
    }

    site::TRingAnswer Ring(const site::TRingRequest& r) override {
        std::string horns = r.Group;
        for (std::size_t h : r.Horns)
            horns += std::to_string(h);
        Note("Ring " + horns + " tone=" + std::to_string(r.Tone) +
                 " for=" + (r.Duration ? std::to_string(r.Duration->count()) : "none"),
             r.Cause);
        {
            std::unique_lock lock(m_);
            holding_ = std::exchange(holdNext_, false);
            released_.wait(lock, [this] { return !holding_; });
        }
        site::TRingOrder order;
        order.Horns = r.Group.empty() ? r.Horns : GroupHorns(r.Group).value_or(r.Horns);
        order.Tone = r.Tone;
        order.Duration = r.Duration.value_or(site::TMillis{0});
        order.Priority = 50;
        order.Cause = r.Cause;
        order.Tag = r.Tag;
        site::TRingAnswer answer;
        answer.Start = site_.Ring(std::move(order));
        answer.Started = answer.Start.Record.Id != 0;
        return answer;
    }
    void StopHorn(std::size_t horn, TCause cause, const std::string&,
                  const std::string& tag) override {
        Note("StopHorn " + std::to_string(horn), cause);
        site_.StopHorn(horn, cause, tag);
    }
    bool StopGroup(const std::string& group, TCause cause, const std::string&) override {
        Note("StopGroup " + group, cause);
        for (std::size_t h : GroupHorns(group).value_or(std::vector<std::size_t>{}))
            site_.StopHorn(h, cause);
        return GroupHorns(group).has_value();
    }
    void StopAll(TCause cause, const std::string&) override {
        Note("StopAll", cause);
        site_.StopAll(cause);
    }
    site::TAlarmAnswer StartAlarm(const std::string& name, TCause cause,
                                  const std::string&) override {
        Note("StartAlarm " + name, cause);
        const bool drill = name == "drill";
        site::TRingOrder order;
        order.Horns = drill ? std::vector<std::size_t>{3} : std::vector<std::size_t>{0, 1, 2, 3};
        order.Tone = drill ? 1 : 3;
        order.Pattern = {{milliseconds(drill ? 400 : 1000), milliseconds(drill ? 200 : 0), {}}};
        order.Repeat = drill ? 2 : 20;
        order.Priority = 200;
        order.Insist = true;
        order.Cause = cause;
        // One the alarm's name, one its label: a service may label its rings either way.
        order.Label = drill ? "drill" : "Evacuation";
        const std::uint64_t ring = site_.Ring(std::move(order)).Record.Id;
        const std::lock_guard lock(m_);
        alarms_[name] = ring;
        return {ring != 0, {}, ring};
    }
    bool StopAlarm(const std::string& name, TCause cause, const std::string&) override {
        Note("StopAlarm " + name, cause);
        std::uint64_t ring = 0;
        {
            const std::lock_guard lock(m_);
            ring = std::exchange(alarms_[name], 0);
        }
        const auto active = site_.ActiveRings();
        const bool sounding =
            std::any_of(active.begin(), active.end(), [&](const auto& r) { return r.Id == ring; });
        site_.StopRing(ring, cause);
        return sounding;
    }

    // "Ring front tone=1 for=2000 cause=mqtt", "StopAll cause=mqtt", ...
    std::vector<std::string> Calls() const {
        const std::lock_guard lock(m_);
        return calls_;
    }

  private:
    void Note(const std::string& call, TCause cause) {
        const std::lock_guard lock(m_);
        calls_.push_back(call + " cause=" + (cause == TCause::Mqtt ? "mqtt" : "other"));
    }

    site::TSite& site_;
    const std::map<std::string, std::vector<std::size_t>> groups_ = {
        {"all", {0, 1, 2, 3}}, {"front", {0, 1}}, {"back", {2, 3}}};
    mutable std::mutex m_;
    std::condition_variable released_;
    bool holdNext_ = false;
    bool holding_ = false;
    std::vector<std::string> calls_;
    std::map<std::string, std::uint64_t> alarms_;
};

// The service's site listener: hands the events to the front while one is attached.
class TForwarder : public site::ISiteListener {
  public:
    std::atomic<service::TSiteMqtt*> Front{nullptr};
    void OnHornEvents(const std::vector<site::THornEvent>& events) override {
        if (auto* f = Front.load()) f->OnHornEvents(events);
    }
    void OnRingStarted(const site::TRingStart& start) override {
        if (auto* f = Front.load()) f->OnRingStarted(start);
    }
    void OnRingEnded(const site::TRingEnd& end, TCause cause, site::TInstant when) override {
        if (auto* f = Front.load()) f->OnRingEnded(end, cause, when);
    }
    void OnUnowned(std::size_t, site::TInstant) override {}
};

class SiteMqttTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::TSiteOptions o = ThreeHorns("127.0.101.1");
        o.Count = 4;
        horns_ = std::make_unique<sim::TSimulatedSite>(o);
        horns_->Start();
        site::TSiteConfig c;
        for (const auto& h : HornsOf(*horns_))
            c.Horns.push_back({h.Address, {}});
        c.Sessions.Port = horns_->Port();
        c.Sessions.ConnectTimeoutMs = c.Sessions.ReplyWaitMs = 500;
        c.PollPeriod = milliseconds(kPeriodMs);
        c.Rings.MaxRing = kMaxRing;
        site_ = std::make_unique<site::TSite>(c, *network_, nullptr, forwarder_);
        control_ = std::make_unique<TTestControl>(*site_);
        StartFront();
        site_->Start();
        for (std::size_t h = 0; h < horns_->Count(); ++h) {
            ids_.push_back(IdOf(*horns_, h));
            ASSERT_TRUE(client_->WaitFor(HornTopic(h, "state"))) << "no state for horn " << h;
        }
    }
    void TearDown() override {
        StopFront();
        site_->Stop();
    }

    // A new front on the site (the old one stopped and detached first).
    void StartFront() {
        StopFront();
        auto horns = HornsOf(*horns_);
        horns[3].InputClass = "safety";
        service::TSiteMqttInfo info{"Test School", {"all", "front", "back"}, {}, kMaxRing};
        info.Alarms = {{"evacuation", "Evacuation"}, {"drill", "Fire drill"}};
        info.ConfigurationUrl = kPage;
        front_ = std::make_unique<service::TSiteMqtt>(TestConfig(broker_.Url(), *horns_), horns,
                                                      std::string(), *site_, *control_, info,
                                                      StderrLog());
        forwarder_.Front = front_.get();
        std::string error;
        ASSERT_TRUE(front_->Start(error)) << error;
    }
    void StopFront() {
        if (!front_) return;
        front_->Stop();
        forwarder_.Front = nullptr;
        front_.reset();
    }

    static std::string Topic(const std::string& suffix) {
        return std::string(kBase) + "/" + suffix;
    }
    std::string HornTopic(std::size_t horn, const std::string& suffix) const {
        return Topic(IdOf(*horns_, horn) + "/" + suffix);
    }
    // Publishes a command; the next message on the result topic.
    json Command(const std::string& topic, const std::string& payload,
                 const std::string& resultTopic = Topic("service/result")) {
        const std::size_t seen = client_->Count(resultTopic);
        client_->Publish(topic, payload);
        return Json(client_->WaitNext(resultTopic, seen));
    }
    // Waits until the topic's newest payload (as JSON, or else as a JSON string) passes check.
    bool Becomes(const std::string& topic, const std::function<bool(const json&)>& check,
                 milliseconds timeout = 10s) {
        const auto read = [&](const std::string& p) {
            const json j = json::parse(p, nullptr, false);
            return check(j.is_discarded() ? json(p) : j);
        };
        return client_->WaitFor(topic, read, timeout).has_value();
    }
    bool Relay(std::size_t horn, bool on, milliseconds timeout = 10s) {
        return Eventually([&] { return (horns_->Snapshot(horn).Relay != 0) == on; }, timeout);
    }

    TBroker broker_;
    std::unique_ptr<TTestClient> client_ = std::make_unique<TTestClient>(broker_.Port());
    std::unique_ptr<sim::TSimulatedSite> horns_;
    std::unique_ptr<IHostNetworkSource> network_ = MakeHostNetworkSource();
    TForwarder forwarder_;
    std::unique_ptr<site::TSite> site_;
    std::unique_ptr<TTestControl> control_;
    std::unique_ptr<service::TSiteMqtt> front_;
    std::vector<std::string> ids_;
};

const auto kIs = [](const char* state) { return [state](const json& s) { return s == state; }; };

std::string SiteDeviceTopic() {
    return std::string(kPrefix) + "/device/" + kObject + "/config";
}

TEST_F(SiteMqttTest, TheSiteIsOneDeviceOfGroupSirensAlarmButtonsAndSwitchesAndStopAll) {
    const std::string service = Topic("service/availability");
    EXPECT_EQ(client_->WaitFor(service), "online");
    const json c = Json(client_->WaitFor(SiteDeviceTopic()));
    ASSERT_TRUE(c.is_object());
    EXPECT_EQ(c["o"], (json{{"name", "kstbelld"}, {"sw_version", KSTBELL_VERSION}}));
    EXPECT_EQ(c["availability"], json::array({{{"topic", service}}}));
    EXPECT_EQ(c["availability_mode"], "all");
    EXPECT_EQ(c["dev"]["identifiers"], json::array({kObject}));
    EXPECT_EQ(c["dev"]["name"], "Test School");
    EXPECT_EQ(c["dev"]["configuration_url"], kPage);
    struct Component {
        std::string key, platform, name, command, state;  // topics under the base
    };
    const Component components[] = {
        {"stop_all", "button", "Stop all", "service/stop_all", ""},
        {"group_all", "siren", "All horns", "group/all/siren/set", "group/all/state"},
        {"group_front", "siren", "Front", "group/front/siren/set", "group/front/state"},
        {"group_back", "siren", "Back", "group/back/siren/set", "group/back/state"},
        {"start_alarm_evacuation", "button", "Start Evacuation", "alarm/evacuation/start", ""},
        {"alarm_evacuation", "switch", "Evacuation", "alarm/evacuation/set",
         "alarm/evacuation/state"},
        {"start_alarm_drill", "button", "Start Fire drill", "alarm/drill/start", ""},
        {"alarm_drill", "switch", "Fire drill", "alarm/drill/set", "alarm/drill/state"},
    };
    ASSERT_EQ(c["cmps"].size(), std::size(components));
    for (const auto& e : components) {
        const json& cmp = c["cmps"][e.key];
        EXPECT_EQ(cmp["p"], e.platform) << e.key;
        EXPECT_EQ(cmp["unique_id"], kObject + "_" + e.key);
        EXPECT_EQ(cmp["default_entity_id"], e.platform + "." + kObject + "_" + e.key);
        EXPECT_FALSE(cmp.contains("object_id")) << e.key;
        EXPECT_EQ(cmp["name"], e.name) << e.key;
        EXPECT_EQ(cmp["command_topic"], Topic(e.command)) << e.key;
        EXPECT_EQ(cmp["qos"], 1) << e.key;
        EXPECT_EQ(cmp.value("state_topic", ""), e.state.empty() ? "" : Topic(e.state)) << e.key;
        if (e.platform == "siren") {
            EXPECT_EQ(cmp["support_duration"], true) << e.key;
            EXPECT_EQ(cmp["available_tones"], json::array({0, 1, 2, 3})) << e.key;
        }
    }

    // Every horn: the service's availability beside its own, and a siren that takes a duration.
    for (std::size_t h = 0; h < ids_.size(); ++h) {
        const json d =
            Json(client_->WaitFor(std::string(kPrefix) + "/device/" + ids_[h] + "/config"));
        EXPECT_EQ(d["o"]["name"], "kstbelld");
        EXPECT_EQ(d["dev"]["via_device"], kObject);
        EXPECT_EQ(d["dev"]["configuration_url"], kPage);
        EXPECT_EQ(d["availability"],
                  json::array({{{"topic", HornTopic(h, "availability")}}, {{"topic", service}}}));
        EXPECT_EQ(d["cmps"]["siren"]["support_duration"], true);
        EXPECT_EQ(d["cmps"]["input"].value("device_class", ""), h == 3 ? "safety" : "");
    }

    // The group siren's templates over the states the front publishes.
    const json front = c["cmps"]["group_front"];
    const json on = {{"state", "ON"}, {"sounding", 1}, {"horns", 2}};
    ASSERT_TRUE(Becomes(Topic("group/front/state"), [](const json& s) { return s.is_object(); }));
    const json off = Json(client_->Last(Topic("group/front/state")));
    const auto rendered =
        RenderTemplates(json::array({{front["state_value_template"], on.dump()},
                                     {front["state_value_template"], off.dump()},
                                     {front["json_attributes_template"], on.dump()}}));
    ASSERT_EQ(rendered.size(), 3u);
    EXPECT_EQ(rendered[0], "ON");
    EXPECT_EQ(rendered[1], "OFF");
    EXPECT_EQ(json::parse(rendered[2], nullptr, false), (json{{"sounding", 1}, {"horns", 2}}));
    EXPECT_EQ(client_->Last(Topic("alarm/evacuation/state")), "OFF");
}

TEST_F(SiteMqttTest, AHornsSirenRingsThroughTheServiceForItsDurationAtMostTheLongestRing) {
    struct Case {
        std::string payload;
        std::string call;                  // what the service was asked; empty: nothing
        std::string error;                 // empty: ok
        std::optional<int> clampedTo;      // seconds
        bool relay;                        // on once the result came
        std::optional<milliseconds> ends;  // then off by itself after this long
    };
    const Case cases[] = {
        {R"({"state":"ON","tone":2,"duration":1,"id":"a1"})", "Ring 0 tone=2 for=1000 cause=mqtt",
         "", std::nullopt, true, milliseconds(1000)},
        // The last tone stays; a longer ring is cut to the longest and says so.
        {R"({"state":"ON","duration":600})", "Ring 0 tone=2 for=600000 cause=mqtt", "", 3, true,
         kMaxRing},
        // Without a duration: until OFF, at most the longest ring.
        {"ON", "Ring 0 tone=2 for=none cause=mqtt", "", std::nullopt, true, std::nullopt},
        {"OFF", "StopHorn 0 cause=mqtt", "", std::nullopt, false, std::nullopt},
        {R"({"state":"ON","tone":1})", "Ring 0 tone=1 for=none cause=mqtt", "", std::nullopt, true,
         kMaxRing},
        {R"({"state":"ON","duration":0})", "", "invalid_input", std::nullopt, false, std::nullopt},
        {R"({"state":"ON","duration":2.5})", "", "invalid_input", std::nullopt, false,
         std::nullopt},
    };
    for (const auto& c : cases) {
        const std::size_t calls = control_->Calls().size();
        const auto sent = Clock::now();
        const json result = Command(HornTopic(0, "siren/set"), c.payload, HornTopic(0, "result"));
        ASSERT_TRUE(result.is_object()) << c.payload;
        EXPECT_EQ(result["command"], "siren/set") << c.payload;
        EXPECT_EQ(result["ok"], c.error.empty()) << c.payload << " " << result;
        EXPECT_EQ(result.value("error", ""), c.error) << c.payload;
        // The id comes back as it was given, without the front's own mark.
        EXPECT_EQ(result.value("id", ""), c.payload.find("a1") != std::string::npos ? "a1" : "");
        EXPECT_EQ(result.value("clamped", false), c.clampedTo.has_value()) << c.payload;
        if (c.clampedTo) {
            EXPECT_EQ(result["duration"], *c.clampedTo) << c.payload;
        }
        const auto calls2 = control_->Calls();
        ASSERT_EQ(calls2.size(), calls + (c.call.empty() ? 0 : 1)) << c.payload;
        if (!c.call.empty()) {
            EXPECT_EQ(calls2.back(), c.call);
        }
        EXPECT_EQ(horns_->Snapshot(0).Relay != 0, c.relay) << c.payload;
        if (!c.ends) continue;
        // The site ends the ring: the relay goes off and the state follows, with no OFF sent.
        ASSERT_TRUE(Relay(0, false, *c.ends + milliseconds(2000))) << c.payload;
        EXPECT_GE(Clock::now() - sent, *c.ends) << c.payload;
        EXPECT_TRUE(Becomes(HornTopic(0, "state"), [](const json& s) { return !s["output"]; }));
    }
    EXPECT_EQ(horns_->Snapshot(1).Relay, 0);
}

TEST_F(SiteMqttTest, AGroupsSirenRingsItsHornsAndIsOnWhileAnyOfThemSounds) {
    const std::size_t hornResults = client_->Count(HornTopic(0, "result"));
    json r =
        Command(Topic("group/front/siren/set"), R"({"state":"ON","tone":1,"duration":2,"id":7})");
    EXPECT_EQ(r, (json{{"command", "group/front/siren/set"},
                       {"id", 7},
                       {"ok", true},
                       {"horns", 2},
                       {"held", 0},
                       {"duration", 2}}));
    EXPECT_EQ(control_->Calls().back(), "Ring front tone=1 for=2000 cause=mqtt");
    const auto sounding = [](std::size_t n, std::size_t of) {
        return [n, of](const json& s) {
            return s["state"] == (n > 0 ? "ON" : "OFF") && s["sounding"] == n && s["horns"] == of;
        };
    };
    EXPECT_TRUE(Becomes(Topic("group/front/state"), sounding(2, 2)));
    EXPECT_TRUE(Becomes(Topic("group/all/state"), sounding(2, 4)));
    EXPECT_TRUE(sounding(0, 2)(Json(client_->Last(Topic("group/back/state")))));
    EXPECT_EQ(horns_->Snapshot(1).Tone, 1);
    EXPECT_EQ(horns_->Snapshot(2).Relay, 0);
    // It ends by itself.
    EXPECT_TRUE(Becomes(Topic("group/front/state"), sounding(0, 2), 5s));
    EXPECT_TRUE(Relay(0, false) && Relay(1, false));
    EXPECT_TRUE(Becomes(Topic("group/all/state"), sounding(0, 4)));
    // Its switches answered on the service's result topic, not on the horns'.
    EXPECT_EQ(client_->Count(HornTopic(0, "result")), hornResults);

    r = Command(Topic("group/back/siren/set"), R"({"state":"ON","duration":600})");
    EXPECT_EQ(r["clamped"], true);
    EXPECT_EQ(r["duration"], 3);
    EXPECT_TRUE(Becomes(Topic("group/back/state"), sounding(2, 2)));
    const auto stop = Clock::now();
    r = Command(Topic("group/back/siren/set"), R"({"state":"OFF","id":"b"})");
    EXPECT_EQ(r, (json{{"command", "group/back/siren/set"}, {"id", "b"}, {"ok", true}}));
    EXPECT_EQ(control_->Calls().back(), "StopGroup back cause=mqtt");
    EXPECT_TRUE(Becomes(Topic("group/back/state"), sounding(0, 2)));
    // Stopped by the OFF, not ended by the clock (the ring had 3 s to go).
    EXPECT_LT(Clock::now() - stop, 2s);
}

TEST_F(SiteMqttTest, AnAlarmStartsFromItsButtonShowsOnItsSwitchAndStopsWithItOrWithStopAll) {
    const std::string evacuation = Topic("alarm/evacuation/state");
    json r = Command(Topic("alarm/evacuation/start"), "PRESS");
    EXPECT_EQ(r, (json{{"command", "alarm/evacuation/start"}, {"ok", true}}));
    EXPECT_EQ(control_->Calls().back(), "StartAlarm evacuation cause=mqtt");
    EXPECT_TRUE(Becomes(evacuation, kIs("ON")));
    for (std::size_t h = 0; h < ids_.size(); ++h)
        EXPECT_TRUE(Relay(h, true)) << h;
    // A horn that the alarm holds refuses a ring of lower priority.
    const json busy = Command(HornTopic(1, "siren/set"), "ON", HornTopic(1, "result"));
    EXPECT_EQ(busy["error"], "busy");

    r = Command(Topic("alarm/evacuation/set"), "OFF");
    EXPECT_EQ(r, (json{{"command", "alarm/evacuation/set"}, {"ok", true}, {"stopped", true}}));
    EXPECT_TRUE(Becomes(evacuation, kIs("OFF")));
    for (std::size_t h = 0; h < ids_.size(); ++h)
        EXPECT_TRUE(Relay(h, false)) << h;
    r = Command(Topic("alarm/evacuation/set"), "OFF");
    EXPECT_EQ(r["stopped"], false);

    // The switch starts it too; Stop all ends it and every other ring.
    EXPECT_EQ(Command(Topic("alarm/evacuation/set"), "ON")["ok"], true);
    EXPECT_TRUE(Becomes(evacuation, kIs("ON")));
    r = Command(Topic("service/stop_all"), R"({"id":"s"})");
    EXPECT_EQ(r, (json{{"command", "service/stop_all"}, {"id", "s"}, {"ok", true}}));
    EXPECT_EQ(control_->Calls().back(), "StopAll cause=mqtt");
    EXPECT_TRUE(Becomes(evacuation, kIs("OFF")));
    for (std::size_t h = 0; h < ids_.size(); ++h)
        EXPECT_TRUE(Relay(h, false)) << h;

    // An alarm whose pattern runs out shows off by itself.
    EXPECT_EQ(Command(Topic("alarm/drill/start"), "")["ok"], true);
    EXPECT_TRUE(Becomes(Topic("alarm/drill/state"), kIs("ON")));
    EXPECT_TRUE(Becomes(Topic("alarm/drill/state"), kIs("OFF"), 5s));
    EXPECT_TRUE(Relay(3, false));
}

TEST_F(SiteMqttTest, SiteCommandsThatCannotBeCarriedOutAreAnsweredAndChangeNothing) {
    const std::string result = Topic("service/result");
    struct Case {
        std::string suffix, payload;
        bool retained;
        std::string message;  // a part of it
    };
    const Case cases[] = {
        {"group/nowhere/siren/set", "ON", false, "nowhere"},
        {"group/front/siren/set", R"({"state":"ON","volume_level":0.5})", false, "volume_level"},
        {"alarm/fire/start", "PRESS", false, "fire"},
        {"alarm/drill/set", R"({"state":"ON","tone":1})", false, "tone"},
        {"service/stop_all", "NOW", false, "PRESS"},
        {"group/all/siren/set", "ON", true, "retained"},
        {"alarm/evacuation/start", "PRESS", true, "retained"},
    };
    for (const auto& c : cases) {
        const std::string topic = Topic(c.suffix);
        const std::size_t seen = client_->Count(result);
        client_->Publish(topic, c.payload, c.retained);
        const json r = Json(client_->WaitNext(result, seen));
        EXPECT_EQ(r["command"], c.suffix);
        EXPECT_EQ(r["ok"], false) << c.suffix;
        EXPECT_EQ(r["error"], "invalid_input") << c.suffix;
        EXPECT_NE(r.value("message", "").find(c.message), std::string::npos) << r;
        if (c.retained) {
            EXPECT_TRUE(client_->WaitFor(topic, [](const std::string& p) { return p.empty(); }))
                << topic << " was not removed";
        }
    }
    EXPECT_TRUE(control_->Calls().empty());
    for (std::size_t h = 0; h < ids_.size(); ++h)
        EXPECT_EQ(horns_->Snapshot(h).Relay, 0) << h;
}

TEST_F(SiteMqttTest, RingsEndWhileTheBrokerIsGoneAndItsReturnShowsTheSiteAsItStands) {
    ASSERT_EQ(Command(HornTopic(2, "siren/set"), R"({"state":"ON","duration":2})",
                      HornTopic(2, "result"))["ok"],
              true);
    ASSERT_TRUE(Relay(2, true));
    broker_.Stop();
    client_.reset();
    // The site ends the ring with no broker to tell; inputs start two alarms meanwhile: the
    // drill, which ends before the broker is back, and the evacuation, which still sounds. No
    // wait here looks for the drill's short steps: a busy machine can miss them, and each second
    // more without a broker doubles the front's wait before it tries again.
    EXPECT_TRUE(Relay(2, false, 4s));
    ASSERT_TRUE(control_->StartAlarm("drill", site::TCause::Input, {}).Ok);
    ASSERT_TRUE(control_->StartAlarm("evacuation", site::TCause::Input, {}).Ok);
    EXPECT_TRUE(Relay(3, true));
    ASSERT_TRUE(Eventually([&] {
        const auto active = site_->ActiveRings();
        return std::none_of(active.begin(), active.end(),
                            [](const auto& r) { return r.Order.Label == "drill"; });
    }));
    broker_.Start();
    client_ = std::make_unique<TTestClient>(broker_.Port());
    // The broker kept nothing: all of this is the front's republication.
    EXPECT_EQ(client_->WaitFor(Topic("service/availability"), 40s), "online");
    EXPECT_EQ(client_->WaitFor(Topic("alarm/evacuation/state")), "ON");
    EXPECT_EQ(client_->WaitFor(Topic("alarm/drill/state")), "OFF");
    EXPECT_TRUE(client_->WaitFor(SiteDeviceTopic()));
    EXPECT_TRUE(Becomes(HornTopic(2, "state"), [](const json& s) { return s["output"] == true; }));
    EXPECT_TRUE(
        Becomes(Topic("group/all/state"), [](const json& s) { return s["sounding"] == 4; }));
}

TEST_F(SiteMqttTest, AStoppedFrontLeavesEverythingOfflineAndANewOneShowsTheSiteAsItStands) {
    StopFront();
    EXPECT_EQ(client_->WaitFor(Topic("service/availability"),
                               [](const std::string& p) { return p == "offline"; }),
              "offline");
    for (std::size_t h = 0; h < ids_.size(); ++h)
        EXPECT_EQ(client_->Last(HornTopic(h, "availability")), "offline") << h;
    // The site goes on without a front: an alarm started now shows once a new front connects.
    ASSERT_TRUE(control_->StartAlarm("evacuation", site::TCause::Input, {}).Ok);
    for (std::size_t h = 0; h < ids_.size(); ++h)
        ASSERT_TRUE(Relay(h, true)) << h;
    ASSERT_TRUE(Eventually([&] {
        return site_->Registry().View(0).State.Output && site_->Registry().View(3).State.Output;
    }));
    StartFront();
    EXPECT_TRUE(Becomes(Topic("service/availability"), kIs("online")));
    EXPECT_TRUE(Becomes(Topic("alarm/evacuation/state"), kIs("ON")));
    EXPECT_TRUE(
        Becomes(Topic("group/all/state"), [](const json& s) { return s["sounding"] == 4; }));
}

TEST_F(SiteMqttTest, ABurstOfGroupCommandsIsAnsweredInOrderAndLeavesEachGroupAsItsLastCommand) {
    const std::string result = Topic("service/result");
    struct Case {
        const char* name;
        // Sent while a ring on the front group is held, so that they gather behind it.
        std::vector<std::pair<std::string, std::string>> burst;  // topic under the base, state
        // Per group: the last call the service was asked for it ("" when none after the held
        // ring).
        std::map<std::string, std::string> last;
        std::vector<std::string> calls;  // calls that must have been made too
        std::vector<std::size_t> off;    // horns whose relay is off at the end
    };
    const std::string front = "group/front/siren/set", back = "group/back/siren/set",
                      all = "group/all/siren/set";
    std::vector<std::pair<std::string, std::string>> run;
    for (int i = 0; i < 10; ++i) {
        run.emplace_back(front, "OFF");
        run.emplace_back(front, "ON");
    }
    auto runOff = run;
    runOff.emplace_back(front, "OFF");
    const Case cases[] = {
        {"a run of ON and OFF ending ON", run, {{"front", "Ring front"}}, {}, {2, 3}},
        {"a run of ON and OFF ending OFF",
         runOff,
         {{"front", "StopGroup front"}},
         {},
         {0, 1, 2, 3}},
        {"Stop all in the burst, then a ring",
         {{back, "ON"},
          {front, "ON"},
          {"service/stop_all", "PRESS"},
          {back, "ON"},
          {back, "OFF"},
          {back, "ON"}},
         {{"front", "StopAll"}, {"back", "Ring back"}},
         {"StopAll"},
         {0, 1}},
        {"overlapping groups",
         {{all, "ON"}, {front, "OFF"}},
         {{"all", "Ring all"}, {"front", "StopGroup front"}},
         {},
         {0, 1}},
        {"an alarm's start among them",
         {{front, "ON"}, {"alarm/drill/start", "PRESS"}, {front, "OFF"}},
         {{"front", "StopGroup front"}},
         {"StartAlarm drill"},
         {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t seen = client_->Count(result);
        const std::size_t calls = control_->Calls().size();
        control_->HoldNextRing();
        client_->Publish(Topic(front), R"({"state":"ON","duration":30,"id":0})");
        ASSERT_TRUE(Eventually([&] { return control_->Calls().size() > calls; }));
        std::vector<std::string> sent{front};
        for (const auto& [topic, state] : c.burst) {
            const std::string id = std::to_string(sent.size());
            client_->Publish(Topic(topic),
                             topic == "service/stop_all" || topic == "alarm/drill/start"
                                 ? R"({"id":)" + id + "}"
                                 : R"({"state":")" + state + R"(","id":)" + id + "}");
            sent.push_back(topic);
        }
        // Best effort: the broker has handed the burst on (the test client sees it too).
        Eventually([&] {
            return client_->Count(Topic(c.burst.back().first)) > 0 &&
                   client_->Last(Topic(c.burst.back().first))
                           .value_or("")
                           .find("\"id\":" + std::to_string(sent.size() - 1)) != std::string::npos;
        });
        control_->Release();
        ASSERT_TRUE(Eventually([&] { return client_->Count(result) >= seen + sent.size(); }));

        // Every command answered once, in the order sent.
        std::vector<json> answers;
        for (const auto& m : client_->All())
            if (m.Topic == result) answers.push_back(Json(m.Payload));
        answers.erase(answers.begin(), answers.begin() + static_cast<std::ptrdiff_t>(seen));
        ASSERT_EQ(answers.size(), sent.size());
        std::size_t rings = 0, ons = 0;
        for (std::size_t i = 0; i < sent.size(); ++i) {
            EXPECT_EQ(answers[i].value("id", -1), static_cast<int>(i)) << answers[i];
            EXPECT_EQ(answers[i]["command"], sent[i]) << answers[i];
            EXPECT_EQ(answers[i]["ok"], true) << answers[i];
            if (answers[i].value("superseded", false)) {
                EXPECT_EQ(sent[i].rfind("group/", 0), 0u) << answers[i];
            }
        }
        const auto made = control_->Calls();
        for (const auto& [topic, state] : c.burst)
            ons += topic == front && state == "ON";
        for (std::size_t i = calls; i < made.size(); ++i)
            rings += made[i].rfind("Ring front", 0) == 0;
        // The commands for the same group were gathered: one ring for the held one, and at
        // most one more for each batch after it.
        if (ons > 2) {
            EXPECT_LT(rings, ons);
        }
        for (const auto& [group, call] : c.last) {
            std::string lastCall;
            for (std::size_t i = calls + 1; i < made.size(); ++i)
                if (made[i].find(" " + group + " ") != std::string::npos ||
                    made[i].rfind("StopAll", 0) == 0)
                    lastCall = made[i].substr(0, made[i].find(" tone") == std::string::npos
                                                     ? made[i].find(" cause")
                                                     : made[i].find(" tone"));
            EXPECT_EQ(lastCall, call) << group;
        }
        for (const auto& call : c.calls)
            EXPECT_TRUE(std::any_of(made.begin() + static_cast<std::ptrdiff_t>(calls), made.end(),
                                    [&](const std::string& m) { return m.rfind(call, 0) == 0; }))
                << call;
        for (std::size_t h : c.off)
            EXPECT_TRUE(Relay(h, false)) << h;
        // The next case starts from silence.
        const std::size_t before = client_->Count(result);
        client_->Publish(Topic("service/stop_all"), "PRESS");
        ASSERT_TRUE(client_->WaitNext(result, before));
        for (std::size_t h = 0; h < ids_.size(); ++h)
            ASSERT_TRUE(Relay(h, false)) << h;
    }
}

TEST(SiteDiscoveryTest, GroupsAndAlarmsAreNamedAsPeopleWriteThem) {
    struct Case {
        std::string name, label;
        bool group;
        std::string shown;
    };
    const Case cases[] = {
        {"all", "", true, "All horns"},
        {"ground_floor", "", true, "Ground floor"},
        {"front", "", true, "Front"},
        {"ground_floor", "Ground floor (east)", true, "Ground floor (east)"},
        {"all", "Everyone", true, "Everyone"},
        {"2nd_floor", "", true, "2nd floor"},
        {"evacuation", "evacuation", false, "Evacuation"},  // the label defaults to the name
        {"drill", "Fire drill", false, "Fire drill"},
        {"all", "", false, "All"},  // an alarm of that name is no group
    };
    for (const auto& c : cases)
        EXPECT_EQ(service::SiteEntityName(c.name, c.label, c.group), c.shown)
            << c.name << " / " << c.label;
}

// A bridge that ran on this base and vanished left its availability "online"; the horns'
// older discovery names that topic. The service's front replaces it by "offline" as it starts,
// and leaves alone what that program sends while the front runs.
TEST_F(SiteMqttTest, AStaleRetainedAvailabilityOfTheBridgeIsReplacedAsTheFrontStarts) {
    const std::string bridge = Topic("bridge/availability");
    StopFront();
    {
        TTestClient seed(broker_.Port());
        seed.Publish(bridge, "online", true);
        ASSERT_TRUE(seed.WaitFor(bridge, [](const std::string& p) { return p == "online"; }));
    }
    StartFront();
    ASSERT_TRUE(Becomes(Topic("service/availability"), kIs("online")));
    EXPECT_TRUE(Becomes(bridge, kIs("offline")));
    TTestClient fresh(broker_.Port());
    EXPECT_EQ(fresh.WaitFor(bridge), "offline");

    // A bridge that comes up now is running: its "online" stays.
    fresh.Publish(bridge, "online", true);
    ASSERT_TRUE(Becomes(bridge, kIs("online")));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(client_->Last(bridge), "online");
    // Never anything on the horns' availability but the front's own.
    for (std::size_t h = 0; h < ids_.size(); ++h)
        EXPECT_TRUE(Becomes(HornTopic(h, "availability"), kIs("online"))) << h;
}

}  // namespace
}  // namespace kstbell::mqtt::test
