// kstbellctl's verbs of the site service against the real HTTP front over the fake service port
// of the web tests, on 127.0.0.1: each verb's request (what reached the service, with whose
// token) and its output; every way a request fails as a kind and an exit code; the token file
// and the options that do not fit.

#include <gtest/gtest.h>

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "cli/service_url.h"
#include "tests/cli/cli_harness.h"
#include "tests/web/fake_web_service.h"
#include "web/http_front.h"
#include "web/time_text.h"

namespace kstbell::cli::test {
namespace {

using web::TRole;

// The fake service, with what the front asked of it written down.
class TRecordingService final : public web::IWebService {
  public:
    web::test::TFakeWebService Fake;

    std::vector<std::string> Calls() {
        std::lock_guard lock(m_);
        return std::exchange(calls_, {});
    }

    bool Ready() override { return Fake.Ready(); }
    web::TLoginAnswer Login(std::string_view u, std::string_view p, const std::string& c) override {
        return Fake.Login(u, p, c);
    }
    std::optional<web::TCaller> Session(std::string_view c) override { return Fake.Session(c); }
    std::optional<web::TCaller> Token(std::string_view token) override {
        Note("Token " + std::string(token));
        return Fake.Token(token);
    }
    void Logout(std::string_view c) override { Fake.Logout(c); }
    web::THealth Health() override { return Fake.Health(); }
    std::vector<web::THornInfo> Horns() override { return Fake.Horns(); }
    std::optional<web::THornInfo> Horn(const std::string& a) override { return Fake.Horn(a); }
    web::TPortStatus StopHorn(const std::string& a, const web::TCaller& c) override {
        return Fake.StopHorn(a, c);
    }
    std::vector<web::TGroupInfo> Groups() override { return Fake.Groups(); }
    web::TPortResult<web::TRingInfo> Ring(const web::TRingAsk& ask,
                                          const web::TCaller& c) override {
        std::string horns;
        for (const auto& h : ask.Horns)
            horns += (horns.empty() ? "" : ",") + h;
        Note("Ring group=" + ask.Group + " horns=" + horns + " tone=" + std::to_string(ask.Tone) +
             " ms=" + (ask.Duration ? std::to_string(ask.Duration->count()) : "-") + " by " +
             c.User);
        return Fake.Ring(ask, c);
    }
    void StopAll(const web::TCaller& c) override {
        Note("StopAll by " + c.User);
        Fake.StopAll(c);
    }
    std::vector<web::TAlarmInfo> Alarms() override {
        Note("Alarms");
        return Fake.Alarms();
    }
    web::TPortResult<web::TAlarmInfo> StartAlarm(const std::string& n,
                                                 const web::TCaller& c) override {
        Note("StartAlarm " + n + " by " + c.User);
        return Fake.StartAlarm(n, c);
    }
    web::TPortStatus StopAlarm(const std::string& n, const web::TCaller& c) override {
        Note("StopAlarm " + n + " by " + c.User);
        return Fake.StopAlarm(n, c);
    }
    web::TDayView Today() override { return Fake.Today(); }
    std::vector<web::TBellInfo> NextBells(std::size_t count) override {
        Note("NextBells " + std::to_string(count));
        return Fake.NextBells(count);
    }
    web::TPlansView Plans() override { return Fake.Plans(); }
    std::vector<web::TExceptionInfo> Exceptions() override { return Fake.Exceptions(); }
    web::TPortResult<web::TExceptionInfo> AddException(const web::TExceptionAsk& a,
                                                       const web::TCaller& c) override {
        return Fake.AddException(a, c);
    }
    web::TPortStatus RemoveException(std::int64_t id, const web::TCaller& c) override {
        return Fake.RemoveException(id, c);
    }
    web::TTimetableView Timetable() override { return Fake.Timetable(); }
    web::TPortResult<web::TTimetableView> SaveTimetable(const std::string& d, std::int64_t r,
                                                        const web::TCaller& c) override {
        return Fake.SaveTimetable(d, r, c);
    }
    std::vector<web::TTimetableRevisionInfo> TimetableRevisions() override {
        return Fake.TimetableRevisions();
    }
    web::TPortResult<web::TTimetableView> RestoreTimetable(std::int64_t r,
                                                           std::optional<std::int64_t> e,
                                                           const web::TCaller& c) override {
        return Fake.RestoreTimetable(r, e, c);
    }
    web::TPortResult<std::vector<web::TDayView>> Days(std::chrono::year_month_day f,
                                                      std::chrono::year_month_day l,
                                                      bool b) override {
        return Fake.Days(f, l, b);
    }
    web::TPortResult<web::TLogPage> Log(const web::TLogQuery& q) override {
        std::string causes;
        for (const auto& cause : q.Causes)
            causes += (causes.empty() ? "" : ",") + cause;
        Note("Log since=" + (q.Since ? web::InstantText(*q.Since) : "-") +
             " until=" + (q.Until ? web::InstantText(*q.Until) : "-") + " horn=" + q.Horn +
             " causes=" + causes + " limit=" + std::to_string(q.Limit) +
             " after=" + (q.After ? std::to_string(q.After->Id) : "-"));
        return Fake.Log(q);
    }
    std::vector<web::TUserInfo> Users() override { return Fake.Users(); }
    web::TPortResult<web::TUserInfo> AddUser(const web::TUserAsk& a,
                                             const web::TCaller& c) override {
        return Fake.AddUser(a, c);
    }
    web::TPortResult<web::TUserInfo> ChangeUser(const std::string& n, const web::TUserChange& ch,
                                                const web::TCaller& c) override {
        return Fake.ChangeUser(n, ch, c);
    }
    web::TPortStatus RemoveUser(const std::string& n, const web::TCaller& c) override {
        return Fake.RemoveUser(n, c);
    }
    std::vector<web::TTokenInfo> Tokens() override { return Fake.Tokens(); }
    web::TPortResult<web::TNewTokenInfo> CreateToken(const web::TTokenAsk& a,
                                                     const web::TCaller& c) override {
        return Fake.CreateToken(a, c);
    }
    web::TPortStatus RevokeToken(std::int64_t id, const web::TCaller& c) override {
        return Fake.RevokeToken(id, c);
    }
    web::TMetrics Metrics() override { return Fake.Metrics(); }
    void Subscribe(web::IWebEventSink* sink) override { Fake.Subscribe(sink); }

  private:
    void Note(std::string call) {
        std::lock_guard lock(m_);
        calls_.push_back(std::move(call));
    }
    std::mutex m_;
    std::vector<std::string> calls_;
};

// A file holding text, with the given mode.
std::string TokenFile(const std::string& name, const std::string& text, mode_t mode = 0600) {
    const std::string path = TempFile(name, text);
    ::chmod(path.c_str(), mode);
    return path;
}

// The front on 127.0.0.1 (HTTPS with a certificate made by openssl when tls), and kstbellctl
// pointed at it with a token of a role.
struct TService {
    explicit TService(bool tls = false) {
        web::TWebFrontOptions options;
        options.Config.Listen = {"127.0.0.1", 0};
        if (tls) {
            Cert = TempFile("service-cert.pem", "");
            const std::string key = TempFile("service-key.pem", "");
            const std::string command =
                std::string(KSTBELL_OPENSSL) +
                " req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
                "subjectAltName=IP:127.0.0.1 -keyout " +
                key + " -out " + Cert + " >/dev/null 2>&1";
            EXPECT_EQ(std::system(command.c_str()), 0);
            options.Config.TlsCert = Cert;
            options.Config.TlsKey = key;
        }
        options.Workers = 4;
        front = std::make_unique<web::TWebFront>(Service, options);
        std::string error;
        EXPECT_TRUE(front->Start(error)) << error;
    }
    std::string Url() const {
        return std::string(Cert.empty() ? "http" : "https") +
               "://127.0.0.1:" + std::to_string(front->Port());
    }
    std::vector<std::string> As(TRole role, const std::vector<std::string>& args) {
        return Join({"--service", Url(), "--token-file",
                     TokenFile("token-" + std::to_string(static_cast<int>(role)),
                               Service.Fake.TokenOf(role) + "\n")},
                    args);
    }

    TRecordingService Service;
    std::string Cert;
    std::unique_ptr<web::TWebFront> front;
};

TEST(CliService, EachVerbAsksTheServiceWithTheTokenAndPrintsItsAnswer) {
    TService service;
    const std::string token = "Token " + service.Service.Fake.TokenOf(TRole::Operator);
    struct TCase {
        std::vector<std::string> Args;
        std::vector<std::string> Calls;  // besides the token's checks
        std::string Out;                 // in the output (the first JSON line with --json)
    };
    const std::vector<TCase> cases = {
        {{"ring", "ground", "--tone", "1", "--for", "10s"},
         {"Ring group=ground horns= tone=1 ms=10000 by olga"},
         "ring 7 on 1 horn of ground, tone 1, until 2027-01-07T08:00:10.000Z; 1 of 1 switched "
         "on\n"},
        {{"ring", "--horn", "127.0.78.1", "--horn", "127.0.78.2", "--for", "1.5m"},
         {"Ring group= horns=127.0.78.1,127.0.78.2 tone=0 ms=90000 by olga"},
         "ring 7 on 2 horns, tone 0, until 2027-01-07T08:01:30.000Z; 2 of 2 switched on\n"},
        {{"ring", "ground", "--for", "1h"},
         {"Ring group=ground horns= tone=0 ms=3600000 by olga"},
         "until 2027-01-07T08:03:00.000Z (cut to the site's longest ring)"},
        {{"--json", "ring", "all"},
         {"Ring group=all horns= tone=0 ms=- by olga"},
         R"("ok":true,"result":{)"},
        {{"stop-all"}, {"StopAll by olga"}, "every ring and alarm stopped\n"},
        {{"alarm", "start", "evacuation"},
         {"StartAlarm evacuation by olga"},
         "alarm evacuation (Evacuation), priority 200: sounding, ring 9 until "
         "2027-01-07T08:05:00.000Z\n"},
        {{"alarm", "stop", "evacuation"},
         {"StopAlarm evacuation by olga"},
         "alarm evacuation stopped\n"},
        {{"alarm", "list"}, {"Alarms"}, "evacuation (Evacuation), priority 200: quiet\n"},
        {{"bells", "--next", "3"},
         {"NextBells 3"},
         "2027-01-07 09:00:00  group all, tone 0, 5 s  (plan school)\n"
         "2027-01-07 10:00:00  group all, tone 0, 5 s  (plan school)\n"
         "2027-01-07 11:00:00  group all, tone 0, 5 s  (plan school)\n"},
        {{"--json", "bells", "--next", "1"}, {"NextBells 1"}, R"("local":"2027-01-07T09:00:00")"},
        // Two pages: the second asked for with the first's cursor; printed oldest first.
        {{"log", "--since", "2027-01-07T08:00Z", "--until", "2027-01-08Z", "--horn", "127.0.78.1",
          "--cause", "http", "--cause", "schedule", "--limit", "5"},
         {"Log since=2027-01-07T08:00:00.000Z until=2027-01-08T00:00:00.000Z horn=127.0.78.1 "
          "causes=http,schedule limit=5 after=-",
          "Log since=2027-01-07T08:00:00.000Z until=2027-01-08T00:00:00.000Z horn=127.0.78.1 "
          "causes=http,schedule limit=4 after=5"},
         "2027-01-07T08:00:00.000Z  ring  http by olga  horn 127.0.78.1  tone 1  3000 ms  ring 7\n"
         "2027-01-07T08:00:00.000Z  ring  http by olga"},
        {{"--json", "log", "--limit", "1"},
         {"Log since=- until=- horn= causes= limit=1 after=-"},
         R"("actor":"olga")"},
    };
    for (const auto& c : cases) {
        const auto r = RunCli(service.As(TRole::Operator, c.Args));
        std::string typed;
        for (const auto& a : c.Args)
            typed += a + " ";
        EXPECT_EQ(r.Code, 0) << typed << r.Err;
        EXPECT_NE(r.Out.find(c.Out), std::string::npos) << typed << "\n" << r.Out;
        std::vector<std::string> calls;
        for (const auto& call : service.Service.Calls()) {
            if (call.rfind("Token ", 0) == 0)
                EXPECT_EQ(call, token) << typed;
            else
                calls.push_back(call);
        }
        EXPECT_EQ(calls, c.Calls) << typed;
        if (c.Args.front() == "--json") {
            const auto lines = r.Lines();
            ASSERT_FALSE(lines.empty()) << typed;
            if (c.Args[1] == "ring") {
                EXPECT_EQ(lines[0]["service"], service.Url()) << typed;
            }
        }
    }
}

TEST(CliService, RingSaysWhichHornsSwitchedOnAndFailsWhenNoneDid) {
    struct TCase {
        const char* Name;
        std::map<std::string, std::string> NotOn;
        std::vector<std::string> Pending;
        int Code;
        std::string Out;  // in the output for people (standard error when it failed)
    } cases[] = {
        {"every horn", {}, {}, 0, "until 2027-01-07T08:03:00.000Z; 3 of 3 switched on\n"},
        {"one offline, one with no answer yet",
         {{"127.0.78.2", "offline"}},
         {"127.0.78.3"},
         0,
         "; 1 of 3 switched on\n  not switched on: 127.0.78.2 (offline)\n  no answer yet "
         "(switched on when it answers): 127.0.78.3\n"},
        {"none switched on",
         {{"127.0.78.1", "offline"}, {"127.0.78.2", "no_reply"}, {"127.0.78.3", "offline"}},
         {},
         3,
         "none of the 3 horns was switched on (2 offline, 1 no reply); the ring was ended; "
         "not switched on: 127.0.78.1 (offline), 127.0.78.2 (no reply), 127.0.78.3 "
         "(offline)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TService service;
        service.Service.Fake.SetSwitches(c.NotOn, c.Pending);
        const auto r = RunCli(service.As(TRole::Operator, {"ring", "all"}));
        EXPECT_EQ(r.Code, c.Code) << r.Err;
        EXPECT_NE((c.Code ? r.Err : r.Out).find(c.Out), std::string::npos) << r.Out << r.Err;
    }
}

// A server that accepts connections into its backlog and never answers them.
struct TSilentServer {
    TSilentServer() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~TSilentServer() { ::close(fd); }
    int fd = -1;
    int port = 0;
};

// An HTTP server answering every request with status, body and Retry-After.
struct TCannedServer {
    TCannedServer(int status, std::string body) {
        server.Get(".*", [=](const httplib::Request&, httplib::Response& res) {
            res.status = status;
            res.set_header("Retry-After", "30");
            res.set_content(body, "application/json");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~TCannedServer() {
        server.stop();
        thread.join();
    }
    httplib::Server server;
    int port = 0;
    std::thread thread;
};

TEST(CliService, EveryFailureHasItsKindAndExitCode) {
    TService service;
    TService tls(true);
    const TSilentServer silent;
    const TCannedServer limited(429, R"({"error":{"kind":"rate_limited","message":"slow down"}})");
    const TCannedServer proxy(502, "<html>Bad Gateway</html>");
    int closedPort = 0;
    {
        const TSilentServer gone;
        closedPort = gone.port;
    }
    const std::string operatorToken = TokenFile("operator", "tok-operator-0123456789");
    const auto at = [&](const std::string& url, const std::vector<std::string>& args) {
        return Join({"--service", url, "--token-file", operatorToken}, args);
    };
    struct TCase {
        std::vector<std::string> Args;
        std::string Kind;
        int Code;
        std::string Message;
    };
    const std::vector<TCase> cases = {
        {Join({"--service", service.Url(), "--token-file", TokenFile("bad", "tok-revoked")},
              {"stop-all"}),
         "unauthenticated", 4, "the token was refused"},
        {service.As(TRole::Viewer, {"ring", "ground"}), "forbidden", 4,
         "the token's role may not ring"},
        {service.As(TRole::Operator, {"ring", "basement"}), "not_found", 2, "group basement"},
        {service.As(TRole::Operator, {"alarm", "start", "fire drill"}), "not_found", 2,
         "alarm fire drill"},
        {service.As(TRole::Operator, {"alarm", "stop", "evacuation"}), "conflict", 1,
         "not sounding"},
        {service.As(TRole::Operator, {"log", "--cause", "mqtt"}), "invalid_input", 2,
         "unknown cause"},
        {at("http://127.0.0.1:" + std::to_string(limited.port), {"bells"}), "rate_limited", 1,
         "slow down; try again in 30 s"},
        {at("http://127.0.0.1:" + std::to_string(proxy.port), {"alarm", "list"}), "unreachable", 3,
         "answered 502 without saying why"},
        {at("http://127.0.0.1:" + std::to_string(closedPort), {"stop-all"}), "unreachable", 3,
         "no connection to the service at http://127.0.0.1:" + std::to_string(closedPort)},
        {at("http://127.0.0.1:" + std::to_string(silent.port), {"--timeout", "300", "stop-all"}),
         "no_reply", 1, "did not answer within 0.3 s; what was asked may have been done"},
        {at(tls.Url(), {"alarm", "list"}), "socket_error", 1, "--service-ca"},
        {at(service.Url(), {"--timeout", "2000", "--service-ca", tls.Cert, "bells"}), "", 2,
         "--service-ca is for an https:// service"},
    };
    for (const auto& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        const auto r = RunCli(Join(c.Args, {"--json"}));
        const auto took = std::chrono::steady_clock::now() - started;
        std::string typed;
        for (const auto& a : c.Args)
            typed += a + " ";
        EXPECT_EQ(r.Code, c.Code) << typed << r.Err;
        EXPECT_LT(took, std::chrono::seconds(5)) << typed;
        if (c.Kind.empty()) {
            EXPECT_NE(r.Err.find(c.Message), std::string::npos) << typed << r.Err;
            continue;
        }
        const auto lines = r.Lines();
        ASSERT_EQ(lines.size(), 1U) << typed << r.Out;
        EXPECT_EQ(lines[0]["ok"], false) << typed;
        const auto error = lines[0].value("error", nlohmann::json::object());
        EXPECT_EQ(error.value("kind", ""), c.Kind) << typed;
        EXPECT_NE(error.value("message", "").find(c.Message), std::string::npos) << typed << r.Out;
    }
    // The same front over HTTPS, trusted through --service-ca.
    const auto trusted = RunCli(at(tls.Url(), {"--service-ca", tls.Cert, "alarm", "list"}));
    EXPECT_EQ(trusted.Code, 0) << trusted.Err;
    EXPECT_EQ(trusted.Out, "evacuation (Evacuation), priority 200: quiet\n");
    // Starting: every route answers 503 until the service is ready.
    service.Service.Fake.ReadyFlag = false;
    const auto starting = RunCli(service.As(TRole::Operator, {"stop-all"}));
    EXPECT_EQ(starting.Code, 1);
    EXPECT_NE(starting.Err.find("starting: the service is still starting"), std::string::npos)
        << starting.Err;
}

TEST(CliService, TokenFilesAndOptionsThatDoNotFitAreRefusedBeforeAnyRequest) {
    TService service;
    const std::string url = service.Url();
    const std::string good = TokenFile("good", "  tok-operator-0123456789 \r\nsecond line\n");
    struct TCase {
        std::vector<std::string> Args;
        int Code;
        std::string Err;  // in the error stream; "" nothing there
    };
    const std::vector<TCase> cases = {
        {{"--service", url, "--token-file", good, "stop-all"}, 0, ""},
        {{"--service", url, "--token-file", TokenFile("open", "tok-operator-0123456789", 0644),
          "stop-all"},
         0,
         "is open to other users (mode 0644)"},
        {{"--service", url, "--token-file", "/nonexistent/token", "stop-all"},
         2,
         "cannot read the token file /nonexistent/token"},
        {{"--service", url, "--token-file", TokenFile("empty", " \n"), "stop-all"},
         2,
         "holds no token on its first line"},
        {{"--service", url, "--token-file", TokenFile("inject", "tok\x01X-Role: admin"),
          "stop-all"},
         2,
         "holds characters no token has"},
        {{"--service", url, "--token-file", TempFile("", ""), "stop-all"}, 2, "is not a file"},
        {{"--service", url, "--token-file", TokenFile("long", std::string(5000, 'k')), "stop-all"},
         2,
         "longer than 4096 bytes"},
        {{"--service", "ftp://127.0.0.1", "--token-file", good, "stop-all"},
         2,
         "only http:// and https://"},
        {{"--service", "http://olga:pw@127.0.0.1", "--token-file", good, "stop-all"},
         2,
         "no user or password in the URL"},
        {{"stop-all"}, 2, "stop-all asks the site service: give its address with --service"},
        {{"--service", url, "ring", "ground"}, 2, "ring needs an API token: --token-file"},
        {{"--service", url, "--token-file", good, "-d", "127.0.78.1", "stop-all"},
         2,
         "leave out -d"},
        {{"--service", url, "--token-file", good, "--port", "8786", "bells"},
         2,
         "leave out --port (the service's port goes into its URL)"},
        {{"--service", url, "--token-file", good, "status"},
         2,
         "status works on horns, not through the site service: leave out --service"},
        {{"--token-file", good, "site", "log"}, 2, "leave out --token-file (log asks the service"},
        {{"--service", url, "--token-file", good, "ring", "ground", "--horn", "127.0.78.1"},
         2,
         "give a GROUP or --horn ADDR, not both"},
        {{"--service", url, "--token-file", good, "ring"}, 2, "not both and not neither"},
        {{"--service", url, "--token-file", good, "ring", "all", "--for", "0.5s"},
         2,
         "--for 0.5s: give 1 s to 24 h"},
        {{"--service", url, "--token-file", good, "ring", "all", "--for", "10 s"},
         2,
         "--for 10 s: give"},
        {{"--service", url, "--token-file", good, "log", "--since", "yesterday"},
         2,
         "'yesterday' is no time"},
    };
    for (const auto& c : cases) {
        const auto r = RunCli(c.Args);
        std::string typed;
        for (const auto& a : c.Args)
            typed += a + " ";
        EXPECT_EQ(r.Code, c.Code) << typed << r.Err;
        if (c.Err.empty())
            EXPECT_EQ(r.Err, "") << typed;
        else
            EXPECT_NE(r.Err.find(c.Err), std::string::npos) << typed << r.Err;
        const auto calls = service.Service.Calls();
        EXPECT_EQ(calls.empty(), c.Code != 0) << typed;
    }
    // A pipe (--token-file <(...)) is read as a file, without the warning about its mode.
    const std::string fifo = TempFile("", "") + "token-pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    std::thread writer([&] { std::ofstream(fifo) << "tok-operator-0123456789\n"; });
    const auto piped = RunCli({"--service", url, "--token-file", fifo, "stop-all"});
    writer.join();
    EXPECT_EQ(piped.Code, 0) << piped.Err;
    EXPECT_EQ(piped.Err, "");
    std::filesystem::remove(fifo);
}

TEST(CliService, TheServiceUrlKeepsItsHostPortAndPath) {
    struct TCase {
        std::string Given;
        std::string Origin;  // "" refused
        std::string BasePath;
        bool Loopback;
    };
    const std::vector<TCase> cases = {
        {"http://127.0.0.1:8786", "http://127.0.0.1:8786", "", true},
        {"HTTPS://bells.school.example/kstbell/", "https://bells.school.example:443", "/kstbell",
         false},
        {"http://[::1]:80/", "http://[::1]:80", "", true},
        {"http://localhost", "http://localhost:80", "", true},
        {"http://127.0.0.1.example.org", "http://127.0.0.1.example.org:80", "", false},
        {"http://10.0.0.5:0", "", "", false},
        {"http://10.0.0.5:", "", "", false},
        {"http://[::1", "", "", false},
        {"http://host/a b", "", "", false},
        {"http://host?x=1", "", "", false},
        {"127.0.0.1:8786", "", "", false},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto url = ParseServiceUrl(c.Given, error);
        EXPECT_EQ(url.has_value(), !c.Origin.empty()) << c.Given << ": " << error;
        if (!url) continue;
        EXPECT_EQ(url->Origin(), c.Origin) << c.Given;
        EXPECT_EQ(url->BasePath, c.BasePath) << c.Given;
        EXPECT_EQ(url->Loopback(), c.Loopback) << c.Given;
    }
}

}  // namespace
}  // namespace kstbell::cli::test
