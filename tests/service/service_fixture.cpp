#include "service_fixture.h"

#include "calendar/clock_text.h"
#include "service/fronts.h"
#include "service/site_file.h"
#include "users/api_tokens.h"
#include "users/user_admin.h"

namespace kstbell::service::test {

using namespace std::chrono;

std::unique_ptr<sim::TSimulatedSite> StartHorns(const std::string& first, std::size_t count) {
    sim::TSiteOptions options;
    options.Horns.BindAddress = first;
    options.Horns.Port = 0;
    options.Count = count;
    auto horns = std::make_unique<sim::TSimulatedSite>(options);
    horns->Start();
    return horns;
}

std::string SiteText(const sim::TSimulatedSite& horns, const std::string& given) {
    // Keys of [site] in the extra text join the table's own.
    std::string site, extra = given;
    if (extra.rfind("[site]\n", 0) == 0) {
        const auto next = extra.find("\n[", 6);
        site = extra.substr(7, next == std::string::npos ? std::string::npos : next - 6);
        extra = next == std::string::npos ? std::string() : extra.substr(next + 1);
    }
    std::string addresses;
    for (std::size_t i = 0; i < horns.Count(); ++i)
        addresses += (i ? ", \"" : "\"") + horns.Address(i) + "\"";
    return "[site]\ntime_zone = \"UTC\"\n" + site +
           "[poll]\nperiod_ms = " + std::to_string(kPeriodMs) +
           "\nreply_wait_ms = " + std::to_string(kReplyWaitMs) +
           "\nconnect_timeout_ms = 300\n[devices]\nport = " + std::to_string(horns.Port()) +
           "\naddresses = [" + addresses + "]\n" + extra;
}

std::string BellsAt(const std::vector<sys_seconds>& at, int durationS, const std::string& group) {
    std::string week = "[schedule.week]\n";
    for (const char* day :
         {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"})
        week += std::string(day) + " = \"test\"\n";
    std::string bells;
    for (const auto instant : at)
        bells += (bells.empty() ? "" : ", ") + std::string("{ time = \"") +
                 calendar::FormatTimeOfDay(instant - floor<days>(instant)) + "\", group = \"" +
                 group + "\", tone = 2, duration_s = " + std::to_string(durationS) + " }";
    return week + "[schedule.day_plans.test]\nbells = [" + bells + "]\n";
}

sys_seconds SecondsAhead(milliseconds ahead) {
    return ceil<seconds>(system_clock::now() + ahead);
}

TServiceHarness::TServiceHarness(std::size_t horns, const std::string& first)
    : horns_(StartHorns(first, horns)),
      lines_(std::make_shared<std::string>()),
      linesMutex_(std::make_shared<std::mutex>()) {}

TServiceHarness::~TServiceHarness() {
    Stop();
    horns_->Stop();
}

void TServiceHarness::Start(const std::string& extra) {
    TServiceConfig config;
    std::vector<std::string> errors;
    const std::string text = SiteText(*horns_, extra);
    ASSERT_TRUE(ReadSiteText(text, dir_.Path() + "/site.toml", config, errors))
        << (errors.empty() ? text : errors.front());
    TLog log = [lines = lines_, m = linesMutex_](const std::string& line) {
        const std::lock_guard lock(*m);
        *lines += line + "\n";
    };
    service_ = std::make_unique<TService>(config, WithFronts({dir_.Path(), log, {}}));
    std::string error;
    ASSERT_TRUE(service_->Start(error)) << error;
}

void TServiceHarness::Stop() {
    if (service_) service_->Stop();
    service_.reset();
}

void TServiceHarness::Abandon() {
    if (service_) service_->Stop(TService::TRingsAtStop::Keep);
    service_.reset();
}

bool TServiceHarness::RelayBecomes(std::size_t horn, std::uint8_t relay, milliseconds timeout) {
    return Eventually([&] { return horns_->Snapshot(horn).Relay == relay; }, timeout);
}

std::vector<store::TAuditEntry> TServiceHarness::Entries(store::TAuditKind kind) {
    service_->Flush();
    store::TAuditQuery query;
    query.Kinds = {kind};
    query.Order = store::TAuditOrder::OldestFirst;
    query.Limit = store::kMaxAuditLimit;
    return service_->Store().Log().Query(query).Entries;
}

std::string TServiceHarness::Lines() const {
    const std::lock_guard lock(*linesMutex_);
    return *lines_;
}

std::map<std::string, std::string> AddApiPeople(store::TStore& store) {
    std::map<std::string, std::string> tokens;
    const store::TChange change{floor<milliseconds>(system_clock::now()), "test"};
    users::TUserAdmin admin(store);
    for (const auto& [name, role] :
         {std::pair{"ann", users::TRole::Admin}, std::pair{"olga", users::TRole::Operator},
          std::pair{"vic", users::TRole::Viewer}}) {
        EXPECT_FALSE(admin.Add(name, role, std::string(name) + "-password-1234", change));
        const auto token = users::TApiTokens(store).Create(name, "script", {}, change);
        EXPECT_TRUE(token.Ok());
        if (token.Ok()) tokens[name] = token.Value().Secret;
    }
    return tokens;
}

}  // namespace kstbell::service::test
