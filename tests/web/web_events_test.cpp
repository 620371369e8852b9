// The event stream: a snapshot first, then every change as the service publishes it, in order;
// a heartbeat while nothing happens; a client that does not read is dropped without holding up
// the service; a cap on open streams; streams end when the front stops.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "tests/web/web_fixture.h"

namespace kstbell::web::test {
namespace {

using namespace std::chrono_literals;

// A client of the event stream on a raw socket, reading only when asked to.
class TStreamClient {
  public:
    // With a cookie the stream is opened with that session instead of the token.
    TStreamClient(std::uint16_t port, const std::string& token, int receiveBuffer = 0,
                  const std::string& cookie = {}) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        const std::string credential =
            cookie.empty() ? "Authorization: Bearer " + token : "Cookie: " + cookie;
        const std::string request =
            "GET /api/v1/events HTTP/1.1\r\nHost: x\r\n" + credential + "\r\n\r\n";
        ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL);
    }
    ~TStreamClient() { ::close(fd_); }

    // Reads until text has come (true) or the time is up, or the server closed.
    bool WaitFor(const std::string& text, std::chrono::milliseconds timeout = 5s) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (data_.find(text) == std::string::npos) {
            if (closed_ || std::chrono::steady_clock::now() >= until) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            char buffer[65536];
            const auto n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                closed_ = true;
            } else {
                data_.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return true;
    }
    bool WaitClosed(std::chrono::milliseconds timeout) {
        WaitFor("\x01never", timeout);
        return closed_;
    }
    // The events that came, by name with their data.
    std::vector<std::pair<std::string, nlohmann::json>> Events() const {
        std::vector<std::pair<std::string, nlohmann::json>> out;
        std::size_t at = 0;
        while ((at = data_.find("event: ", at)) != std::string::npos) {
            const auto line = data_.find('\n', at);
            const auto data = data_.find("data: ", line);
            const auto end = data_.find("\n\n", data);
            if (line == std::string::npos || data != line + 1 || end == std::string::npos) break;
            out.emplace_back(data_.substr(at + 7, line - at - 7),
                             nlohmann::json::parse(data_.substr(data + 6, end - data - 6)));
            at = end;
        }
        return out;
    }
    const std::string& Data() const { return data_; }

  private:
    int fd_ = -1;
    std::string data_;
    bool closed_ = false;
};

TEST(WebEvents, AStreamStartsWithASnapshotThenSendsEveryChangeInOrder) {
    TWebFixture web;
    ASSERT_TRUE(web.Service.Subscribed());
    TStreamClient client(web.Port(), web.Service.TokenOf(TRole::Viewer));
    ASSERT_TRUE(client.WaitFor("event: snapshot"));
    EXPECT_NE(client.Data().find("Content-Type: text/event-stream"), std::string::npos);
    ASSERT_TRUE(client.WaitFor("\n\n", 1s));

    auto horn = web.Service.Horns().front();
    horn.Output = true;
    const TInstant at{std::chrono::seconds(1800000000)};
    TBellInfo bell;
    bell.At = at;
    bell.Plan = "school";
    const std::vector<std::pair<TWebEvent, std::string>> events = {
        {horn, "horn"},
        {TPresenceEvent{"127.0.78.3", true, at}, "presence"},
        {TRingInfo{.Id = 8, .Start = at, .End = at + 3s, .Horns = {"127.0.78.1"}}, "ring"},
        {TRingEndInfo{8, false, {"127.0.78.1"}, TCause::Http, at + 3s}, "ring_end"},
        {TAlarmInfo{"evacuation", "Evacuation", 200, true, TRingRef{9, at}}, "alarm"},
        {TBellEvent{bell, false, ""}, "bell"},
        {TBellEvent{bell, true, "service down"}, "bell_missed"},
        {TStopAllEvent{"olga", TCause::Http, at}, "stop_all"},
    };
    for (const auto& [event, name] : events)
        web.Service.Emit(event);
    ASSERT_TRUE(client.WaitFor("event: stop_all"));

    const auto got = client.Events();
    ASSERT_EQ(got.size(), events.size() + 1);
    EXPECT_EQ(got[0].first, "snapshot");
    EXPECT_EQ(got[0].second["site"], "Northside School");
    EXPECT_EQ(got[0].second["horns"].size(), 3u);
    EXPECT_EQ(got[0].second["alarms"][0]["name"], "evacuation");
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(got[i + 1].first, events[i].second);
    EXPECT_EQ(got[1].second["output"], true);
    EXPECT_EQ(got[2].second["address"], "127.0.78.3");
    EXPECT_EQ(got[3].second["horns"][0], "127.0.78.1");
    EXPECT_EQ(got[5].second["ring"]["id"], 9);
    EXPECT_EQ(got[7].second["reason"], "service down");
    EXPECT_EQ(got[8].second["actor"], "olga");
}

TEST(WebEvents, AnIdleStreamGetsAHeartbeat) {
    TWebFixture web({}, 100ms);
    TStreamClient client(web.Port(), web.Service.TokenOf(TRole::Viewer));
    ASSERT_TRUE(client.WaitFor("event: snapshot"));
    EXPECT_TRUE(client.WaitFor(": keep-alive\n\n", 3s));
}

TEST(WebEvents, AClientThatDoesNotReadIsDroppedAndHoldsUpNothing) {
    TWebFixture web({}, 15s, 16);
    // Small buffers, and no reading after the snapshot: the server's writes soon block.
    TStreamClient slow(web.Port(), web.Service.TokenOf(TRole::Viewer), 4096);
    ASSERT_TRUE(slow.WaitFor("event: snapshot"));
    ASSERT_EQ(web.Front().Events().OpenStreams(), 1u);

    auto horn = web.Service.Horns().front();
    horn.Location = std::string(4096, 'x');
    for (int i = 0; i < 3000; ++i) {
        horn.Tone = i % 4;
        web.Service.Emit(horn);
    }
    EXPECT_EQ(web.Front().Events().DroppedStreams(), 1u);
    EXPECT_TRUE(slow.WaitClosed(15s)) << "the dropped client's connection stays open";
    EXPECT_EQ(web.Front().Events().OpenStreams(), 0u);

    // Others go on: a new stream starts with a fresh snapshot and gets what follows.
    TStreamClient next(web.Port(), web.Service.TokenOf(TRole::Viewer));
    ASSERT_TRUE(next.WaitFor("event: snapshot"));
    web.Service.Emit(TPresenceEvent{"127.0.78.2", false, TInstant{}});
    EXPECT_TRUE(next.WaitFor("event: presence"));
}

TEST(WebEvents, PublishingNeverWaitsForAStreamAndKeepsTheOrder) {
    TEventHub hub(2, 8);
    const auto stuck = hub.Open();  // never read
    const auto read = hub.Open();
    ASSERT_TRUE(stuck && read);
    EXPECT_EQ(hub.Open(), nullptr);
    std::vector<int> tones;
    std::atomic<int> taken{0};
    std::thread reader([&read, &tones, &taken] {
        std::vector<TFrame> frames;
        while (read->Next(2s, frames) == TEventStream::TWait::Frames) {
            for (const auto& frame : frames) {
                const auto at = frame->find("\"tone\":");
                tones.push_back(std::stoi(frame->substr(at + 7)));
            }
            frames.clear();
            taken = static_cast<int>(tones.size());
            if (tones.size() == 1000) break;
        }
    });
    THornInfo horn;
    for (int i = 0; i < 1000; ++i) {
        horn.Tone = i;
        hub.Publish(horn);
        // The reader is let keep up (its queue holds 8), the stuck stream is not.
        while (i - taken.load() >= 4)
            std::this_thread::sleep_for(100us);
    }
    reader.join();
    EXPECT_TRUE(stuck->Dropped());
    EXPECT_EQ(hub.DroppedStreams(), 1u);
    std::vector<TFrame> none;
    EXPECT_EQ(stuck->Next(0ms, none), TEventStream::TWait::Ended);
    EXPECT_FALSE(read->Dropped()) << "the reader fell behind on a loaded machine";
    if (!read->Dropped()) {
        ASSERT_EQ(tones.size(), 1000u);
        for (int i = 0; i < 1000; ++i)
            EXPECT_EQ(tones[static_cast<std::size_t>(i)], i);
    }
    hub.Release(stuck);
    EXPECT_NE(hub.Open(), nullptr);
}

TEST(WebEvents, AChangeAfterQuietGoesAtOnceAndABurstIsGatheredUntilHalfTheQueueIsUsed) {
    struct TCase {
        bool AfterARead;  // whether frames were just handed out (no quiet spell)
        std::size_t Capacity;
        std::size_t Sent;           // frames published, 5 ms apart, while the reader waits
        std::size_t AtLeast, Most;  // what its next read takes
        bool WholeGather;           // whether that read waited for the gather to pass
    };
    const TCase cases[] = {
        {false, 100, 10, 1, 2, false},  // after a quiet spell: the first change at once
        {true, 100, 10, 10, 10, true},  // right after a read: the burst in one read
        {true, 8, 8, 4, 7, false},      // half the queue used: read at once, nothing dropped
    };
    constexpr auto kGather = 1500ms;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.AfterARead) + " " + std::to_string(c.Capacity));
        TEventHub hub(1, c.Capacity);
        const auto stream = hub.Open();
        ASSERT_TRUE(stream);
        std::vector<TFrame> frames;
        if (c.AfterARead) {
            hub.Publish(THornInfo{});
            ASSERT_EQ(stream->Next(5s, frames, kGather), TEventStream::TWait::Frames);
            frames.clear();
        }
        std::thread publisher([&] {
            THornInfo horn;
            for (std::size_t i = 0; i < c.Sent; ++i) {
                horn.Tone = static_cast<int>(i);
                hub.Publish(horn);
                std::this_thread::sleep_for(5ms);
            }
        });
        const auto began = std::chrono::steady_clock::now();
        EXPECT_EQ(stream->Next(5s, frames, kGather), TEventStream::TWait::Frames);
        const auto took = std::chrono::steady_clock::now() - began;
        publisher.join();
        EXPECT_GE(frames.size(), c.AtLeast);
        EXPECT_LE(frames.size(), c.Most);
        EXPECT_EQ(took >= kGather / 2, c.WholeGather);
        EXPECT_FALSE(stream->Dropped());
        hub.Release(stream);
    }
}

TEST(WebEvents, StreamsBeyondTheCapAreRefusedUntilOneCloses) {
    THttpConfig config;
    config.EventStreams = 2;
    TWebFixture web(config, 100ms);
    auto first = std::make_unique<TStreamClient>(web.Port(), web.Service.TokenOf(TRole::Viewer));
    TStreamClient second(web.Port(), web.Service.TokenOf(TRole::Viewer));
    ASSERT_TRUE(first->WaitFor("event: snapshot"));
    ASSERT_TRUE(second.WaitFor("event: snapshot"));
    TStreamClient third(web.Port(), web.Service.TokenOf(TRole::Viewer));
    ASSERT_TRUE(third.WaitFor("}}"));
    EXPECT_EQ(RawStatus(third.Data()), 503) << third.Data();
    EXPECT_NE(third.Data().find("\"busy\""), std::string::npos);
    EXPECT_NE(third.Data().find("Retry-After: 10"), std::string::npos);

    // A client gone is noticed at the next heartbeat at the latest.
    first.reset();
    bool opened = false;
    for (int attempt = 0; attempt < 50 && !opened; ++attempt) {
        TStreamClient again(web.Port(), web.Service.TokenOf(TRole::Viewer));
        opened = again.WaitFor("event: snapshot", 500ms);
    }
    EXPECT_TRUE(opened);
}

TEST(WebEvents, AStreamEndsOnceItsCredentialEnds) {
    using TEnd = std::function<TAnswer(TWebFixture&, const TLoggedIn&)>;
    const std::string viewerToken = TFakeWebService().TokenOf(TRole::Viewer);
    struct TCase {
        std::string Name;
        bool Session;  // opened with vic's session, else with vic's token
        TEnd End;
    };
    const std::vector<TCase> cases = {
        {"token revoked", false,
         [](TWebFixture& web, const TLoggedIn&) {
             return web.WithToken(TRole::Admin, "DELETE", "/api/v1/tokens/3");
         }},
        {"logged out", true,
         [](TWebFixture& web, const TLoggedIn& login) {
             return web.Call("DELETE", "/api/v1/session",
                             {{"Cookie", login.Cookie}, {"X-CSRF-Token", login.Csrf}});
         }},
        {"user removed", false,
         [](TWebFixture& web, const TLoggedIn&) {
             return web.WithToken(TRole::Admin, "DELETE", "/api/v1/users/vic");
         }},
        {"user disabled", true,
         [](TWebFixture& web, const TLoggedIn&) {
             return web.WithToken(TRole::Admin, "PATCH", "/api/v1/users/vic",
                                  R"({"disabled":true})");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TWebFixture web;
        const auto login = web.Login("vic", kViewerPassword);
        ASSERT_FALSE(login.Cookie.empty());
        const std::string cookie = c.Session ? login.Cookie : std::string();
        TStreamClient client(web.Port(), viewerToken, 0, cookie);
        ASSERT_TRUE(client.WaitFor("event: snapshot"));
        // Still open while the credential holds.
        EXPECT_FALSE(client.WaitFor("\r\n0\r\n\r\n", 1500ms));
        const auto ended = c.End(web, login);
        ASSERT_LT(ended.Status, 300) << ended.Body;
        EXPECT_TRUE(client.WaitFor("\r\n0\r\n\r\n", 10s)) << "the stream goes on";
        // And it cannot be opened again.
        TStreamClient again(web.Port(), viewerToken, 0, cookie);
        ASSERT_TRUE(again.WaitFor("}}"));
        EXPECT_EQ(RawStatus(again.Data()), 401) << again.Data();
    }
}

TEST(WebEvents, StoppingTheFrontEndsEveryStream) {
    TWebFixture web;
    TStreamClient client(web.Port(), web.Service.TokenOf(TRole::Viewer));
    ASSERT_TRUE(client.WaitFor("event: snapshot"));
    web.Front().Stop();
    EXPECT_FALSE(web.Service.Subscribed());
    EXPECT_TRUE(client.WaitFor("\r\n0\r\n\r\n", 2s)) << "no last chunk";
    EXPECT_TRUE(client.WaitClosed(2s));
}

}  // namespace
}  // namespace kstbell::web::test
