// kstbell-bridge with a large simulated site: kstbell-sim --count N (default 1,000) on
// 127.0.78.1 and up as a process, Debian's mosquitto on a free loopback port, and the bridge
// program between them. Measures how long after a relay change on a horn its state topic
// shows it (a change made behind the bridge's back, so found by polling; and a change
// commanded through the broker), and the bridge's processor time and resident memory over the
// window. A second simulator serves --silent more horns (default 10) on 127.0.90.1 and up;
// once every horn is published it is stopped with SIGSTOP, so that those horns still take
// connections but never answer, and every sample sends each of them commands as well: the
// healthy horns must not wait for them.
//
// Usage: bridge_bench [--window SECONDS] [--count N] [--silent K] [--period MS] [--samples K]
// (defaults 600 s, 1000 horns, 10 silent, 3100 ms, 40 samples). KSTBELL_BENCH_BRIDGE and
// KSTBELL_BENCH_SIM name other kstbell-bridge and kstbell-sim programs to measure (an older
// build, say). The bench's own requests take no horn locks, so that the bridge is the only
// program of the PC that does. Exits 1 when a change took
// longer than one period, a commanded change took 100 ms or more (median), or the bridge used
// 10 % of a core or 100 MiB or more.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "bridge/broker_fixture.h"
#include "device/relay_output.h"
#include "mqtt/topics.h"
#include "platform/backends.h"
#include "sim/site_addresses.h"
#include "site/session_set.h"

namespace {

using namespace kstbell;
using namespace kstbell::mqtt::test;
using Clock = std::chrono::steady_clock;

struct TArgs {
    int WindowS = 600;
    std::size_t Count = 1000;
    std::size_t Silent = 10;
    int PeriodMs = 3100;
    int Samples = 40;
};

bool ParseArgs(int argc, char** argv, TArgs& a) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string o = argv[i];
        const long v = std::strtol(argv[i + 1], nullptr, 10);
        if (o == "--silent" && v >= 0) {
            a.Silent = static_cast<std::size_t>(v);
            continue;
        }
        if (v <= 0) return false;
        if (o == "--window")
            a.WindowS = static_cast<int>(v);
        else if (o == "--count")
            a.Count = static_cast<std::size_t>(v);
        else if (o == "--period")
            a.PeriodMs = static_cast<int>(v);
        else if (o == "--samples")
            a.Samples = static_cast<int>(v);
        else
            return false;
    }
    return argc % 2 == 1;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// utime + stime of a process, in clock ticks.
long CpuTicks(pid_t pid) {
    const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream in(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stol(field);
    }
    return ticks;
}

long StatusKib(pid_t pid, const std::string& key) {
    std::istringstream in(ReadAll("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
    }
    return 0;
}

struct TLatencies {
    std::vector<double> Ms;
    void Add(Clock::duration d) {
        Ms.push_back(std::chrono::duration<double, std::milli>(d).count());
    }
    double Median() {
        if (Ms.empty()) return 0;
        std::sort(Ms.begin(), Ms.end());
        return Ms[Ms.size() / 2];
    }
    std::string Text() {
        if (Ms.empty()) return "no samples";
        std::sort(Ms.begin(), Ms.end());
        char b[96];
        std::snprintf(b, sizeof b, "median %.0f ms, max %.0f ms (%zu samples)", Ms[Ms.size() / 2],
                      Ms.back(), Ms.size());
        return b;
    }
};

// The program named by the environment variable, else the one of this build.
std::string Program(const char* variable, const char* built) {
    const char* named = std::getenv(variable);
    return named != nullptr && *named != '\0' ? named : built;
}

bool OutputIs(const std::optional<std::string>& payload, bool on) {
    if (!payload) return false;
    const auto j = nlohmann::json::parse(*payload, nullptr, false);
    return j.is_object() && j["output"] == on;
}

}  // namespace

int main(int argc, char** argv) {
    TArgs a;
    if (!ParseArgs(argc, argv, a)) {
        std::cerr << "usage: bridge_bench [--window SECONDS] [--count N] [--silent K] "
                     "[--period MS] [--samples K]\n";
        return 2;
    }
    const std::string simProgram = Program("KSTBELL_BENCH_SIM", KSTBELL_SIM_PROGRAM);
    const std::string bridgeProgram = Program("KSTBELL_BENCH_BRIDGE", KSTBELL_BRIDGE_PROGRAM);
    TTempDir dir;
    TBroker broker;
    TTestClient client(broker.Port());

    const std::string simLog = dir.Path() + "/sim.log";
    TChild sim({simProgram, "--bind", "127.0.78.1", "--port", "0", "--count",
                std::to_string(a.Count), "--quiet"},
               simLog);
    std::uint16_t port = 0;
    if (!Eventually(
            [&] {
                const std::string text = ReadAll(simLog);
                const auto at = text.find(" on port ");
                if (at == std::string::npos) return false;
                port = static_cast<std::uint16_t>(std::stoi(text.substr(at + 9)));
                return true;
            },
            60s)) {
        std::cerr << "kstbell-sim did not start: " << ReadAll(simLog);
        return 1;
    }
    // The horns that will stop answering: a simulator of their own on the same port.
    const std::string silentLog = dir.Path() + "/silent.log";
    std::unique_ptr<TChild> silentSim;
    if (a.Silent > 0) {
        silentSim = std::make_unique<TChild>(
            std::vector<std::string>{simProgram, "--bind", "127.0.90.1", "--port",
                                     std::to_string(port), "--count", std::to_string(a.Silent),
                                     "--mac-offset", std::to_string(a.Count), "--quiet"},
            silentLog);
        if (!Eventually([&] { return ReadAll(silentLog).find(" on port ") != std::string::npos; },
                        60s)) {
            std::cerr << "the second kstbell-sim did not start: " << ReadAll(silentLog);
            return 1;
        }
    }
    const auto addresses = sim::ConsecutiveAddresses({127, 0, 78, 1}, a.Count);
    std::ostringstream conf;
    conf << "[broker]\nurl = \"" << broker.Url() << "\"\n[topics]\nbase = \"bench\"\n"
         << "[poll]\nperiod_ms = " << a.PeriodMs << "\n[devices]\nport = " << port
         << "\naddresses = [";
    std::vector<std::string> texts;
    for (const auto& ip : addresses) {
        texts.push_back(sim::Ipv4Text(ip));
        conf << (texts.size() > 1 ? ", " : "") << '"' << texts.back() << '"';
    }
    if (a.Silent > 0)
        for (const auto& ip : sim::ConsecutiveAddresses({127, 0, 90, 1}, a.Silent))
            conf << ", \"" << sim::Ipv4Text(ip) << '"';
    conf << "]\n";
    const std::string config = dir.Write("bridge.toml", conf.str());
    const auto started = Clock::now();
    TChild bridge({bridgeProgram, "--config", config}, dir.Path() + "/bridge.log");

    std::vector<std::string> ids;
    for (std::size_t i = 0; i < a.Count + a.Silent; ++i)
        ids.push_back(mqtt::HornId(sim::HornMac(i)));
    for (const auto& id : ids) {
        if (!client.WaitFor("bench/" + id + "/state", 120s)) {
            std::cerr << "no state for " << id << "\n" << ReadAll(dir.Path() + "/bridge.log");
            return 1;
        }
    }
    const double identifiedS = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("%zu horns identified and published in %.1f s\n", a.Count + a.Silent, identifiedS);
    // From now on the silent horns take connections and requests and never answer.
    if (silentSim) silentSim->Signal(SIGSTOP);

    // The changes behind the bridge's back go through a session of this process.
    const auto network = MakeHostNetworkSource();
    site::TSessionOptions eo;
    eo.Port = port;
    eo.HostLocks = nullptr;
    site::TSessionSet direct(texts, eo, *network);

    std::mt19937 random(7);
    TLatencies polled, commanded;
    const long hz = sysconf(_SC_CLK_TCK);
    const long ticks0 = CpuTicks(bridge.Pid());
    const auto windowStart = Clock::now();
    const auto window = std::chrono::seconds(a.WindowS);
    long rssMaxKib = 0;
    int sample = 0;
    const auto period = std::chrono::milliseconds(a.PeriodMs);
    while (Clock::now() - windowStart < window) {
        rssMaxKib = std::max(rssMaxKib, StatusKib(bridge.Pid(), "VmRSS"));
        const auto due = windowStart + window * sample / a.Samples;
        if (sample < a.Samples && Clock::now() >= due) {
            ++sample;
            const std::size_t h = random() % a.Count;
            // Commands for every silent horn, queued behind their hung requests.
            for (std::size_t k = a.Count; k < a.Count + a.Silent; ++k) {
                client.Publish("bench/" + ids[k] + "/siren/set", R"({"state":"ON","tone":1})");
                client.Publish("bench/" + ids[k] + "/find_me", "PRESS");
            }
            const std::string state = "bench/" + ids[h] + "/state";
            if (SetRelayOutput(direct.Session(h), 1, 1, 1).Ok()) {
                const auto t = Clock::now();
                if (client.WaitFor(
                        state, [](const std::string& p) { return OutputIs(p, true); }, 4 * period))
                    polled.Add(Clock::now() - t);
                else
                    polled.Add(4 * period);
            }
            const std::size_t seen = client.Count(state);
            const auto t = Clock::now();
            client.Publish("bench/" + ids[h] + "/siren/set", "OFF");
            if (client.WaitFor(
                    state, [](const std::string& p) { return OutputIs(p, false); }, 4 * period) &&
                client.Count(state) > seen)
                commanded.Add(Clock::now() - t);
            else
                commanded.Add(4 * period);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - windowStart).count();
    const double cpu = 100.0 * double(CpuTicks(bridge.Pid()) - ticks0) / double(hz) / seconds;
    const long hwmKib = StatusKib(bridge.Pid(), "VmHWM");

    std::printf("window %.0f s, poll period %d ms, %zu of %zu horns silent\n", seconds, a.PeriodMs,
                a.Silent, a.Count + a.Silent);
    std::printf("relay switched on the horn -> state topic: %s\n", polled.Text().c_str());
    std::printf("siren/set OFF -> state topic:              %s\n", commanded.Text().c_str());
    std::printf("bridge processor time: %.2f %% of one core\n", cpu);
    std::printf("bridge resident memory: max %.1f MiB sampled, peak %.1f MiB (VmHWM)\n",
                double(rssMaxKib) / 1024.0, double(hwmKib) / 1024.0);
    const bool ok = !polled.Ms.empty() && polled.Ms.back() <= a.PeriodMs &&
                    commanded.Ms.back() <= a.PeriodMs && commanded.Median() < 100.0 && cpu < 10.0 &&
                    hwmKib < 100 * 1024;
    std::printf("%s\n", ok ? "within bounds" : "OUT OF BOUNDS");
    if (silentSim) silentSim->Signal(SIGCONT);
    bridge.Signal(SIGTERM);
    bridge.Wait(20s);
    if (silentSim) {
        silentSim->Signal(SIGTERM);
        silentSim->Wait(20s);
    }
    sim.Signal(SIGTERM);
    sim.Wait(20s);
    return ok ? 0 : 1;
}
