// The front under clients that misbehave: slow heads from one address or many hold no thread
// and leave the login and Stop all answered; heads past their limits or their deadline are
// refused; idle connections close; pipelined requests are answered in order; a Host that does
// not name this service gets 421; the head's framing and the Host rules as pure functions.

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "tests/web/web_fixture.h"
#include "web/host_check.h"
#include "web/request_head.h"

namespace kstbell::web::test {
namespace {

using namespace std::chrono_literals;

// Enough descriptors for this many connections of the test's own, or false.
bool RoomForDescriptors(rlim_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    if (limit.rlim_cur >= wanted) return true;
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= wanted;
}

TEST(WebGuard, SlowClientsHoldNoWorkerAndTheLoginAndStopAllAreAnswered) {
    ASSERT_TRUE(RoomForDescriptors(1300 + 512)) << "the test needs 1,812 descriptors";
    // A deadline far beyond the test's waits: the slow clients stay held throughout.
    TWebFixture web({}, 15s, 256, [](TWebFrontOptions& options) {
        options.RequestTimeout = 120s;
        options.Workers = 4;
    });
    struct TCase {
        std::string Name;
        std::vector<std::string> Sources;
        std::size_t PerSource;
    };
    std::vector<std::string> several;
    for (int i = 2; i <= 11; ++i)
        several.push_back("127.0.0." + std::to_string(i));
    const std::vector<TCase> cases = {
        {"1,000 from one address", {"127.0.0.1"}, 1000},
        {"300 from ten addresses", several, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<int> slow;
        for (const auto& source : c.Sources) {
            for (std::size_t i = 0; i < c.PerSource; ++i) {
                const int fd = ConnectFrom(source, web.Port());
                ASSERT_GE(fd, 0);
                const std::string start = "GET / HTTP/1.1\r\nHost: x\r\n";
                (void)::send(fd, start.data(), start.size(), MSG_NOSIGNAL);
                slow.push_back(fd);
            }
        }
        // One more header line on each now and then, as a slow client sends them.
        std::atomic<bool> done{false};
        std::thread dribble([&slow, &done] {
            int line = 0;
            while (!done) {
                const std::string header = "X-Slow-" + std::to_string(line++) + ": 1\r\n";
                for (const int fd : slow)
                    (void)::send(fd, header.data(), header.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                for (int i = 0; i < 10 && !done; ++i)
                    std::this_thread::sleep_for(100ms);
            }
        });
        // Each address keeps at most its share; the rest were closed.
        const std::size_t share = 16 * c.Sources.size();
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (web.Front().OpenConnections() < share && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(20ms);
        EXPECT_EQ(web.Front().OpenConnections(), share);

        const nlohmann::json body = {{"user", "vic"}, {"password", kViewerPassword}};
        const auto login = web.RawFrom("127.0.0.200",
                                       "POST /api/v1/session HTTP/1.1\r\nHost: x\r\n"
                                       "Content-Type: application/json\r\nContent-Length: " +
                                           std::to_string(body.dump().size()) +
                                           "\r\nConnection: close\r\n\r\n" + body.dump(),
                                       20s);
        EXPECT_EQ(RawStatus(login), 200) << login;
        const auto stop = web.RawFrom("127.0.0.201",
                                      "POST /api/v1/stop-all HTTP/1.1\r\nHost: x\r\n"
                                      "Authorization: Bearer " +
                                          web.Service.TokenOf(TRole::Operator) +
                                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                                      20s);
        EXPECT_LT(RawStatus(stop), 300) << stop;
        EXPECT_GE(RawStatus(stop), 200) << stop;
        // The slow ones were still held meanwhile.
        EXPECT_EQ(web.Front().OpenConnections(), share);
        done = true;
        dribble.join();
        for (const int fd : slow)
            ::close(fd);
        const auto gone = std::chrono::steady_clock::now() + 30s;
        while (web.Front().OpenConnections() > 0 && std::chrono::steady_clock::now() < gone)
            std::this_thread::sleep_for(20ms);
    }
}

TEST(WebGuard, HeadsBeyondTheirLimitsOrDeadlineAreRefusedAndTheConnectionCloses) {
    TWebFixture web({}, 15s, 256, [](TWebFrontOptions& options) {
        options.RequestTimeout = 1500ms;
        options.IdleTimeout = 1000ms;
    });
    std::string headers;
    for (int i = 0; i < 101; ++i)
        headers += "X-" + std::to_string(i) + ": 1\r\n";
    struct TCase {
        std::string Name, Bytes;
        int Status;  // 0: closed without an answer
    };
    const std::vector<TCase> cases = {
        {"101 header lines", "GET / HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n", 431},
        {"101 header lines, still coming", "GET / HTTP/1.1\r\nHost: x\r\n" + headers, 431},
        {"a head of 20,000 bytes",
         "GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(20000, 'a') + "\r\n\r\n", 431},
        {"a target of 10,000 bytes",
         "GET /" + std::string(10000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", 414},
        {"a target of 30,000 bytes", "GET /" + std::string(30000, 'a'), 414},
        {"a head never finished", "GET / HTTP/1.1\r\nHost: x\r\n", 408},
        {"a body never finished",
         "POST /api/v1/session HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n"
         "Content-Length: 50\r\n\r\n{\"user\":",
         408},
        {"nothing sent", "", 0},
    };
    for (const auto& c : cases) {
        bool closed = false;
        const auto response = web.Raw(c.Bytes, 20s, &closed);
        EXPECT_EQ(RawStatus(response), c.Status) << c.Name << ": " << response;
        EXPECT_TRUE(closed) << c.Name;
        if (c.Status != 0) {
            EXPECT_NE(response.find("Connection: close"), std::string::npos) << c.Name;
        }
    }
    // An idle connection after an answer closes too.
    bool closed = false;
    const auto response = web.Raw("GET / HTTP/1.1\r\nHost: x\r\n\r\n", 20s, &closed);
    EXPECT_EQ(RawStatus(response), 200);
    EXPECT_TRUE(closed);
    EXPECT_EQ(web.Front().OpenConnections(), 0u);
}

TEST(WebGuard, PipelinedRequestsAreAnsweredInOrder) {
    TWebFixture web;
    const std::string token = "Authorization: Bearer " + web.Service.TokenOf(TRole::Operator);
    const std::string body = R"({"group":"all","tone":1})";
    const std::string requests =
        "GET / HTTP/1.1\r\nHost: x\r\n\r\n"
        "POST /api/v1/ring HTTP/1.1\r\nHost: x\r\n" +
        token +
        "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\n\r\n" + body +
        "GET /api/v1/nothing HTTP/1.1\r\nHost: x\r\n\r\n"
        "GET /static/app.js HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    bool closed = false;
    const auto response = web.Raw(requests, 20s, &closed);
    std::vector<int> statuses;
    for (auto at = response.find("HTTP/1.1 "); at != std::string::npos;
         at = response.find("HTTP/1.1 ", at + 1)) {
        statuses.push_back(std::stoi(response.substr(at + 9, 3)));
    }
    EXPECT_EQ(statuses, (std::vector<int>{200, 202, 404, 200})) << response;
    EXPECT_NE(response.find("export const ok = true;"), std::string::npos);
    EXPECT_TRUE(closed);
    EXPECT_EQ(web.Service.RingCalls.load(), 1);
}

TEST(WebGuard, AHostThatDoesNotNameThisServiceGets421) {
    TWebFixture web;
    const std::string port = std::to_string(web.Port());
    struct TCase {
        std::string Host;  // the header lines
        int Status;
        std::string Version = "HTTP/1.1";
    };
    const std::vector<TCase> cases = {
        {"Host: x\r\n", 200},
        {"Host: X.\r\n", 200},
        {"Host: 127.0.0.1:" + port + "\r\n", 200},
        {"Host: localhost:" + port + "\r\n", 200},
        {"Host: [::1]:" + port + "\r\n", 200},
        {"Host: attacker.example:" + port + "\r\n", 421},
        {"Host: localhost.attacker.example:" + port + "\r\n", 421},
        {"Host: 127.0.0.1:1\r\n", 421},
        {"Host: 127.0.0.1\r\n", 421},
        {"Host: 127.0.0.1:" + port + "x\r\n", 421},
        {"", 400},
        {"Host: x\r\nHost: y\r\n", 400},
        {"", 200, "HTTP/1.0"},
    };
    for (const auto& c : cases) {
        const auto response =
            web.Raw("GET / " + c.Version + "\r\n" + c.Host + "Connection: close\r\n\r\n");
        EXPECT_EQ(RawStatus(response.substr(0, 5) == "HTTP/" ? "HTTP/1.1" + response.substr(8)
                                                             : response),
                  c.Status)
            << c.Host << response;
        if (c.Status == 421) {
            EXPECT_NE(response.find("\"misdirected\""), std::string::npos) << response;
            if (c.Host.find("attacker") != std::string::npos) {
                EXPECT_NE(response.find("[http] names"), std::string::npos) << response;
            }
        }
    }
    // A change is refused too, and its body never read.
    const auto ring = web.Raw(
        "POST /api/v1/stop-all HTTP/1.1\r\nHost: evil.example\r\n"
        "Authorization: Bearer " +
        web.Service.TokenOf(TRole::Operator) + "\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(RawStatus(ring), 421);
    EXPECT_TRUE(web.Service.Changes().empty());
}

TEST(WebGuard, TheHostRulesHoldOnEveryKindOfListenAddress) {
    struct TCase {
        std::string Local;
        int Port;
        std::string Host;
        bool Passes;
    };
    const THostCheck check({"Bells.School.Example", "panel.example."}, false);
    const std::vector<TCase> cases = {
        {"10.0.0.5", 8786, "10.0.0.5:8786", true},
        {"10.0.0.5", 8786, "localhost:8786", false},  // not on a loopback connection
        {"10.0.0.5", 8786, "127.0.0.1:8786", false},
        {"10.0.0.5", 8786, "10.0.0.6:8786", false},
        {"10.0.0.5", 80, "10.0.0.5", true},                // no port: the scheme's default
        {"10.0.0.5", 8786, "bells.school.example", true},  // a name: any port (a proxy)
        {"10.0.0.5", 8786, "panel.example:443", true},
        {"10.0.0.5", 8786, "school.example", false},
        {"::ffff:10.0.0.5", 8786, "10.0.0.5:8786", true},  // IPv4 on an IPv6 socket
        {"fd00::5", 8786, "[fd00::5]:8786", true},
        {"fd00::5", 8786, "[fd00:0::5]:8786", true},
        {"fd00::5", 8786, "[fd00::5:8786", false},
        {"::1", 8786, "localhost:8786", true},
        {"127.0.0.1", 8786, "[::1]:8786", true},
    };
    for (const auto& c : cases) {
        bool missing = false;
        const auto why = check.Refusal({c.Host}, "HTTP/1.1", c.Local, c.Port, missing);
        EXPECT_EQ(why.empty(), c.Passes) << c.Local << " " << c.Host << ": " << why;
        EXPECT_FALSE(missing);
    }
    for (const auto* name : {"a.b", "bells-1.example", "x"}) {
        std::string error;
        EXPECT_TRUE(ValidHostName(name, error)) << name << ": " << error;
    }
    for (const auto* name : {"", "a..b", ".a", "bells.example:8786", "[::1]", "a b", "é.example"}) {
        std::string error;
        EXPECT_FALSE(ValidHostName(name, error)) << name;
    }
}

TEST(WebGuard, AHeadIsReadyOnceItAndTheBodyToReadFirstHaveCome) {
    using TState = THeadScan::TState;
    const THeadLimits limits{.MaxHeadBytes = 200, .MaxHeaderLines = 3, .MaxBodyBytes = 10};
    struct TCase {
        std::string Bytes;
        TState State;
    };
    const std::vector<TCase> cases = {
        {"", TState::Incomplete},
        {"GET / HTTP/1.1\r\nHost: x\r\n", TState::Incomplete},
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", TState::Ready},
        {"GET / HTTP/1.1\r\n\r\n", TState::Ready},
        {"GET / HTTP/1.1\r\nHost: x\r\n\r\nGET /next", TState::Ready},  // the next one waits
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nabcd", TState::Incomplete},
        {"POST / HTTP/1.1\r\ncontent-length:  5 \r\n\r\nabcde", TState::Ready},
        // Served at once: refused or answered before the body.
        {"POST / HTTP/1.1\r\nContent-Length: 11\r\n\r\n", TState::Ready},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n", TState::Ready},
        {"POST / HTTP/1.1\r\nContent-Length: 5x\r\n\r\n", TState::Ready},
        {"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n",
         TState::Ready},
        {"POST / HTTP/1.1\r\nContent-Length: 5\r\nExpect: 100-continue\r\n\r\n", TState::Ready},
        {"GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\n\r\n", TState::Ready},
        {"GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n", TState::TooManyHeaders},
        {"GET / HTTP/1.1\r\nA: " + std::string(200, 'a'), TState::HeadTooLarge},
        {"GET / HTTP/1.1\r\nA: " + std::string(180, 'a') + "\r\n\r\n", TState::HeadTooLarge},
        {"GET /" + std::string(200, 'a'), TState::TargetTooLong},
        {"GET /" + std::string(200, 'a') + " HTTP/1.1\r\n", TState::TargetTooLong},
    };
    for (const auto& c : cases) {
        const auto scan = ScanHead(c.Bytes, limits);
        EXPECT_EQ(scan.State, c.State) << c.Bytes.substr(0, 60);
    }
    const auto scan = ScanHead("GET /api/v1/events?x=1 HTTP/1.1\r\nHost: x\r\n\r\n", limits);
    EXPECT_EQ(scan.Method, "GET");
    EXPECT_EQ(scan.Target, "/api/v1/events?x=1");
    EXPECT_EQ(scan.HeadBytes, 44u);
}

}  // namespace
}  // namespace kstbell::web::test
