// kstbelld's MQTT front under a burst of group commands: kstbelld --simulate N (default 20 horns
// on 127.0.78.1 and up, in four groups) and Debian's mosquitto on a free loopback port. A client
// sends --rate group ON/OFF commands a second (default 1,000) for --seconds (default 10),
// round-robin over the groups, each with its number as "id", and counts the results on the
// service's result topic: answered, in order, late (more than 1 s after they were sent), and
// superseded by a later command in the same gathering. kstbelld's processor time from the first
// command to the last result (or the end of the wait, 30 s after the last command).
//
// Usage: mqtt_burst_bench [--rate N] [--seconds S] [--horns N] [--groups G]. Exits 1 when a
// command went unanswered or answers came out of order.

#include <mosquitto.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bridge/broker_fixture.h"

namespace {

using namespace kstbell::mqtt::test;
using Clock = std::chrono::steady_clock;

struct TArgs {
    long Rate = 1000;
    long Seconds = 10;
    long Horns = 20;
    long Groups = 4;
};

bool ParseArgs(int argc, char** argv, TArgs& a) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string o = argv[i];
        const long v = std::strtol(argv[i + 1], nullptr, 10);
        if (v <= 0) return false;
        if (o == "--rate")
            a.Rate = v;
        else if (o == "--seconds")
            a.Seconds = v;
        else if (o == "--horns")
            a.Horns = v;
        else if (o == "--groups")
            a.Groups = v;
        else
            return false;
    }
    return argc % 2 == 1 && a.Groups <= a.Horns;
}

std::string HornAddress(long i) {
    return "127.0." + std::to_string(78 + i / 254) + "." + std::to_string(i % 254 + 1);
}

double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string f;
    double ticks = 0;
    for (int i = 3; fields >> f; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(f);
        if (i == 15) break;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct TResults {
    std::mutex M;
    std::condition_variable Changed;
    std::vector<Clock::time_point> Sent;
    std::vector<Clock::time_point> Answered;
    std::size_t Count = 0;
    std::size_t OutOfOrder = 0;
    std::size_t Failed = 0;
    std::size_t Superseded = 0;
    long Last = -1;
    bool Online = false;
};

void OnMessage(mosquitto*, void* self, const mosquitto_message* m) {
    auto& r = *static_cast<TResults*>(self);
    const std::string topic = m->topic;
    const std::string payload(static_cast<const char*>(m->payload),
                              static_cast<std::size_t>(m->payloadlen));
    const auto now = Clock::now();
    const std::lock_guard lock(r.M);
    if (topic.size() >= 13 && topic.compare(topic.size() - 13, 13, "/availability") == 0) {
        r.Online = payload == "online";
    } else {
        const auto j = nlohmann::json::parse(payload, nullptr, false);
        const long id = j.is_object() ? j.value("id", -1L) : -1L;
        if (id < 0 || id >= static_cast<long>(r.Answered.size())) return;
        if (id <= r.Last) ++r.OutOfOrder;
        r.Last = id;
        if (r.Answered[id] == Clock::time_point{}) ++r.Count;
        r.Answered[id] = now;
        if (!j.value("ok", false)) ++r.Failed;
        if (j.value("superseded", false)) ++r.Superseded;
    }
    r.Changed.notify_all();
}

}  // namespace

int main(int argc, char** argv) {
    TArgs a;
    if (!ParseArgs(argc, argv, a)) {
        std::cerr << "usage: mqtt_burst_bench [--rate N] [--seconds S] [--horns N] [--groups G]\n";
        return 2;
    }
    TBroker broker;
    TTempDir dir;
    std::ostringstream site;
    site << "[broker]\nurl = \"" << broker.Url() << "\"\n[topics]\nbase = \"burst\"\n[groups]\n";
    for (long g = 0; g < a.Groups; ++g) {
        site << "g" << g << " = [";
        for (long h = g; h < a.Horns; h += a.Groups)
            site << (h == g ? "" : ", ") << '"' << HornAddress(h) << '"';
        site << "]\n";
    }
    const std::string config = dir.Write("site.toml", site.str());
    const std::string log = dir.Path() + "/kstbelld.log";
    TChild service({KSTBELLD_PROGRAM, "--config", config, "--state-dir", dir.Path() + "/state",
                    "--simulate", std::to_string(a.Horns), "--http", "127.0.0.1:0"},
                   log);

    const std::size_t total = static_cast<std::size_t>(a.Rate * a.Seconds);
    TResults r;
    r.Sent.resize(total);
    r.Answered.resize(total);
    mosquitto_lib_init();
    mosquitto* mosq = mosquitto_new("burst-bench", true, &r);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_message_callback_set(mosq, OnMessage);
    mosquitto_max_inflight_messages_set(mosq, 0);
    if (mosquitto_connect(mosq, "127.0.0.1", broker.Port(), 30) != MOSQ_ERR_SUCCESS) {
        std::cerr << "cannot connect to the broker\n";
        return 1;
    }
    mosquitto_subscribe(mosq, nullptr, "burst/service/result", 1);
    mosquitto_subscribe(mosq, nullptr, "burst/service/availability", 1);
    mosquitto_loop_start(mosq);
    {
        std::unique_lock lock(r.M);
        if (!r.Changed.wait_for(lock, std::chrono::seconds(30), [&] { return r.Online; })) {
            std::cerr << "kstbelld did not come online; its log: " << log << "\n";
            return 1;
        }
    }
    // Time for the horns to be found and polled once.
    std::this_thread::sleep_for(std::chrono::seconds(3));

    const double cpu0 = CpuSeconds(service.Pid());
    const auto start = Clock::now();
    for (std::size_t i = 0; i < total; ++i) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(1000000 * i / a.Rate));
        const long g = static_cast<long>(i) % a.Groups;
        const bool on = (i / static_cast<std::size_t>(a.Groups)) % 2 == 0;
        const std::string topic = "burst/group/g" + std::to_string(g) + "/siren/set";
        const std::string payload = std::string("{\"state\":\"") + (on ? "ON" : "OFF") +
                                    "\",\"duration\":5,\"id\":" + std::to_string(i) + "}";
        {
            const std::lock_guard lock(r.M);
            r.Sent[i] = Clock::now();
        }
        mosquitto_publish(mosq, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, false);
    }
    const auto sent = Clock::now();
    {
        std::unique_lock lock(r.M);
        r.Changed.wait_for(lock, std::chrono::seconds(30), [&] { return r.Count == total; });
    }
    const double cpu = CpuSeconds(service.Pid()) - cpu0;
    Clock::time_point last{};
    std::size_t late = 0;
    double worst = 0;
    {
        const std::lock_guard lock(r.M);
        for (std::size_t i = 0; i < total; ++i) {
            if (r.Answered[i] == Clock::time_point{}) continue;
            last = std::max(last, r.Answered[i]);
            const double wait = std::chrono::duration<double>(r.Answered[i] - r.Sent[i]).count();
            worst = std::max(worst, wait);
            if (wait > 1.0) ++late;
        }
    }
    const auto end = std::max(last, sent);
    const double wall = std::chrono::duration<double>(end - start).count();
    const double sendS = std::chrono::duration<double>(sent - start).count();
    std::printf(
        "sent %zu in %.1f s; answered %zu (failed %zu, superseded %zu), out of order %zu, "
        "late (>1 s) %zu, slowest %.2f s; kstbelld %.2f s of processor in %.1f s (%.0f %% of a "
        "core)\n",
        total, sendS, r.Count, r.Failed, r.Superseded, r.OutOfOrder, late, worst, cpu, wall,
        100.0 * cpu / wall);
    mosquitto_disconnect(mosq);
    mosquitto_loop_stop(mosq, true);
    mosquitto_destroy(mosq);
    service.Signal(SIGTERM);
    service.Wait(std::chrono::seconds(10));
    return r.Count == total && r.OutOfOrder == 0 ? 0 : 1;
}
