// The service's credentials, each beside what it is compared with in the same run: a password
// hashed and checked (the time a login costs, the target 50-100 ms) and the check made for a
// name that is no user's (which must cost the same, so the time does not tell); an API token
// and a session cookie checked against a database of 1,000 users with a token and a session
// each, beside a text of the right shape that is no token (the work every API request does);
// and a login attempt through the rate limit with its table of addresses full, beside one
// with it nearly empty (a flood of addresses must not slow the answers down). The database
// lives in $TMPDIR (default /tmp).

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "store/store.h"
#include "users/authenticator.h"
#include "users/password_hash.h"
#include "users/secret.h"
#include "users/user_admin.h"

namespace kstbell::bench {
namespace {

namespace fs = std::filesystem;
using namespace kstbell::users;

const store::TUtcTime kStart = store::FromUnixMs(1'767'225'600'000);  // 2026-01-01T00:00:00Z

class TBenchDir {
  public:
    TBenchDir() {
        std::string pattern = (fs::temp_directory_path() / "kstbell-users-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TBenchDir() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }

  private:
    fs::path path_;
};

void BM_PasswordHash(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(HashPassword("correct horse battery"));
}
BENCHMARK(BM_PasswordHash)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

void BM_PasswordVerify(benchmark::State& state) {
    const std::string hash = HashPassword("correct horse battery");
    for (auto _ : state)
        benchmark::DoNotOptimize(VerifyPassword(hash, "correct horse battery"));
}
BENCHMARK(BM_PasswordVerify)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

void BM_PasswordVerifyNoSuchUser(benchmark::State& state) {
    VerifyNobody("warm up");
    for (auto _ : state)
        VerifyNobody("correct horse battery");
}
BENCHMARK(BM_PasswordVerifyNoSuchUser)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->UseRealTime();

// 1,000 users with a token and a session each. Users are added through the store with one
// hash for all: the hash is not what is measured here.
struct TSite {
    TBenchDir Dir;
    store::TStore Store{Dir.Path()};
    TAuthenticator Auth{Store};
    std::vector<std::string> Tokens;
    std::vector<std::string> Cookies;

    TSite() {
        const std::string hash = HashPassword("bench-password");
        TApiTokens tokens(Store);
        TSessions sessions(Store);
        for (int i = 0; i < 1000; ++i) {
            const std::string name = "user" + std::to_string(i);
            const auto id = Store.Users().Add(
                {.Name = name, .Role = "operator", .PasswordHash = hash, .Created = kStart},
                {.At = kStart});
            Tokens.push_back(tokens.Create(name, "script", {}, {.At = kStart}).Value().Secret);
            Cookies.push_back(sessions.Start(*id, "192.0.2.1", kStart)->Cookie);
        }
    }
};

TSite& Site() {
    static TSite site;
    return site;
}

void BM_TokenVerify(benchmark::State& state) {
    TSite& site = Site();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto who = site.Auth.Token(site.Tokens[i++ % site.Tokens.size()], kStart);
        if (!who) state.SkipWithError("token refused");
    }
}
BENCHMARK(BM_TokenVerify)->Unit(benchmark::kMicrosecond);

void BM_TokenVerifyNoSuchToken(benchmark::State& state) {
    TSite& site = Site();
    const std::string other = NewSplitSecret(kTokenPrefix).Text;
    for (auto _ : state) {
        if (site.Auth.Token(other, kStart)) state.SkipWithError("token accepted");
    }
}
BENCHMARK(BM_TokenVerifyNoSuchToken)->Unit(benchmark::kMicrosecond);

void BM_SessionCheck(benchmark::State& state) {
    TSite& site = Site();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto session = site.Auth.Session(site.Cookies[i++ % site.Cookies.size()], kStart);
        if (!session) state.SkipWithError("session refused");
    }
}
BENCHMARK(BM_SessionCheck)->Unit(benchmark::kMicrosecond);

// Attempts from a flood of new addresses for new names, the table of keys full all along,
// beside attempts from 50 known addresses for 50 known names (never made to wait).
void BM_ThrottleFlood(benchmark::State& state) {
    TLoginThrottle throttle;
    long i = 0;
    for (auto _ : state) {
        ++i;
        throttle.Attempt("10.1." + std::to_string(i), "n" + std::to_string(i), kStart);
    }
    state.counters["keys"] = static_cast<double>(throttle.Keys());
}
BENCHMARK(BM_ThrottleFlood)->Unit(benchmark::kMicrosecond)->Iterations(200000);

void BM_ThrottleKnownKeys(benchmark::State& state) {
    TLoginThrottle throttle({.FreePerAddress = 1 << 30, .FreePerName = 1 << 30});
    long i = 0;
    for (auto _ : state) {
        ++i;
        throttle.Attempt("10.1." + std::to_string(i % 50), "n" + std::to_string(i % 50), kStart);
    }
    state.counters["keys"] = static_cast<double>(throttle.Keys());
}
BENCHMARK(BM_ThrottleKnownKeys)->Unit(benchmark::kMicrosecond)->Iterations(200000);

}  // namespace
}  // namespace kstbell::bench
