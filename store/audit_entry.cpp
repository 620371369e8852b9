#include "store/audit_entry.h"

#include <array>
#include <utility>

#include "store/name_table.h"

namespace kstbell::store {

namespace {

constexpr std::array kKinds = {
    std::pair{TAuditKind::Ring, std::string_view("ring")},
    std::pair{TAuditKind::RingEnd, std::string_view("ring_end")},
    std::pair{TAuditKind::AlarmStart, std::string_view("alarm_start")},
    std::pair{TAuditKind::AlarmStop, std::string_view("alarm_stop")},
    std::pair{TAuditKind::StopAll, std::string_view("stop_all")},
    std::pair{TAuditKind::BellFired, std::string_view("bell_fired")},
    std::pair{TAuditKind::BellMissed, std::string_view("bell_missed")},
    std::pair{TAuditKind::HornOnline, std::string_view("horn_online")},
    std::pair{TAuditKind::HornOffline, std::string_view("horn_offline")},
    std::pair{TAuditKind::HornStopped, std::string_view("horn_stopped")},
    std::pair{TAuditKind::ConfigLoaded, std::string_view("config_loaded")},
    std::pair{TAuditKind::ServiceStart, std::string_view("service_start")},
    std::pair{TAuditKind::ServiceStop, std::string_view("service_stop")},
    std::pair{TAuditKind::UserAdded, std::string_view("user_added")},
    std::pair{TAuditKind::UserRemoved, std::string_view("user_removed")},
    std::pair{TAuditKind::UserRoleChanged, std::string_view("user_role_changed")},
    std::pair{TAuditKind::UserPasswordChanged, std::string_view("user_password_changed")},
    std::pair{TAuditKind::UserDisabled, std::string_view("user_disabled")},
    std::pair{TAuditKind::UserEnabled, std::string_view("user_enabled")},
    std::pair{TAuditKind::TokenCreated, std::string_view("token_created")},
    std::pair{TAuditKind::TokenRevoked, std::string_view("token_revoked")},
    std::pair{TAuditKind::Login, std::string_view("login")},
    std::pair{TAuditKind::LoginFailed, std::string_view("login_failed")},
    std::pair{TAuditKind::Logout, std::string_view("logout")},
    std::pair{TAuditKind::ExceptionAdded, std::string_view("exception_added")},
    std::pair{TAuditKind::ExceptionRemoved, std::string_view("exception_removed")},
    std::pair{TAuditKind::TimetableChanged, std::string_view("timetable_changed")},
    std::pair{TAuditKind::HornRenamed, std::string_view("horn_renamed")},
    std::pair{TAuditKind::GroupChanged, std::string_view("group_changed")},
};

constexpr std::array kCauses = {
    std::pair{TAuditCause::Schedule, std::string_view("schedule")},
    std::pair{TAuditCause::Alarm, std::string_view("alarm")},
    std::pair{TAuditCause::Input, std::string_view("input")},
    std::pair{TAuditCause::Mqtt, std::string_view("mqtt")},
    std::pair{TAuditCause::Http, std::string_view("http")},
    std::pair{TAuditCause::Cli, std::string_view("cli")},
    std::pair{TAuditCause::Service, std::string_view("service")},
};

constexpr auto kKindValues = TableValues(kKinds);
constexpr auto kCauseValues = TableValues(kCauses);

}  // namespace

std::span<const TAuditKind> AllAuditKinds() {
    return kKindValues;
}
std::span<const TAuditCause> AllAuditCauses() {
    return kCauseValues;
}

std::string_view KindName(TAuditKind kind) {
    return NameIn(kKinds, kind);
}
std::string_view CauseName(TAuditCause cause) {
    return NameIn(kCauses, cause);
}
std::optional<TAuditKind> KindFromName(std::string_view name) {
    return ValueIn(kKinds, name);
}
std::optional<TAuditCause> CauseFromName(std::string_view name) {
    return ValueIn(kCauses, name);
}

}  // namespace kstbell::store
