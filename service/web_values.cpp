#include "service/web_values.h"

#include <algorithm>

#include "protocol/text.h"

namespace kstbell::service {

web::TRole WebRole(users::TRole role) {
    switch (role) {
        case users::TRole::Viewer:
            return web::TRole::Viewer;
        case users::TRole::Operator:
            return web::TRole::Operator;
        case users::TRole::Admin:
            return web::TRole::Admin;
    }
    return web::TRole::Viewer;
}

users::TRole UserRole(web::TRole role) {
    switch (role) {
        case web::TRole::Viewer:
            return users::TRole::Viewer;
        case web::TRole::Operator:
            return users::TRole::Operator;
        case web::TRole::Admin:
            return users::TRole::Admin;
    }
    return users::TRole::Viewer;
}

web::TCause WebCause(site::TCause cause) {
    switch (cause) {
        case site::TCause::Schedule:
            return web::TCause::Schedule;
        case site::TCause::Alarm:
            return web::TCause::Alarm;
        case site::TCause::Input:
            return web::TCause::Input;
        case site::TCause::Mqtt:
            return web::TCause::Mqtt;
        case site::TCause::Http:
            return web::TCause::Http;
        case site::TCause::CommandLine:
            return web::TCause::CommandLine;
        case site::TCause::Service:
            return web::TCause::Service;
    }
    return web::TCause::Service;
}

web::TPresence WebPresence(TPresence presence) {
    switch (presence) {
        case TPresence::Online:
            return web::TPresence::Online;
        case TPresence::Offline:
            return web::TPresence::Offline;
        case TPresence::Unknown:
            break;
    }
    return web::TPresence::Unknown;
}

web::TInstant WebTime(store::TUtcTime at) {
    return web::TInstant(at);
}

store::TUtcTime StoreTime(web::TInstant at) {
    return std::chrono::floor<std::chrono::milliseconds>(at);
}

web::TFailure WebFailure(const users::TRefusal& refusal) {
    switch (refusal.Kind) {
        case users::TRefusalKind::Invalid:
            return web::Fail(web::TErrorKind::InvalidInput, refusal.Message);
        case users::TRefusalKind::NotFound:
            return web::Fail(web::TErrorKind::NotFound, refusal.Message);
        case users::TRefusalKind::Taken:
        case users::TRefusalKind::LastAdmin:
            return web::Fail(web::TErrorKind::Conflict, refusal.Message);
    }
    return web::Fail(web::TErrorKind::Internal, refusal.Message);
}

web::TLogEntry WebLogEntry(const store::TAuditEntry& e) {
    web::TLogEntry out;
    out.Id = e.Id;
    out.At = WebTime(e.At);
    out.Kind = std::string(store::KindName(e.Kind));
    out.Cause = std::string(store::CauseName(e.Cause));
    out.Actor = e.Actor;
    out.HornAddress = e.HornAddress;
    out.HornId = e.HornId;
    out.Group = e.Group;
    out.Alarm = e.Alarm;
    out.Tone = e.Tone;
    out.Duration = e.Duration;
    out.RingId = e.RingId;
    out.Detail = e.Detail;
    return out;
}

std::optional<store::TAuditQuery> StoreQuery(const web::TLogQuery& query, web::TFailure& why) {
    store::TAuditQuery out;
    if (query.Since) out.Since = StoreTime(*query.Since);
    if (query.Until) out.Until = StoreTime(*query.Until);
    out.Horn = query.Horn;
    for (const auto& name : query.Kinds) {
        const auto kind = store::KindFromName(name);
        if (!kind) {
            why = web::Fail(web::TErrorKind::InvalidInput,
                            "query 'kind': '" + name + "' is no kind of log entry");
            return std::nullopt;
        }
        out.Kinds.push_back(*kind);
    }
    for (const auto& name : query.Causes) {
        const auto cause = store::CauseFromName(name);
        if (!cause) {
            why = web::Fail(web::TErrorKind::InvalidInput,
                            "query 'cause': '" + name + "' is no cause of log entries");
            return std::nullopt;
        }
        out.Causes.push_back(*cause);
    }
    out.Order = store::TAuditOrder::NewestFirst;
    out.Limit = std::clamp(query.Limit, 1, store::kMaxAuditLimit);
    if (query.After) out.After = store::TAuditCursor{StoreTime(query.After->At), query.After->Id};
    return out;
}

std::string FirmwareText(const std::optional<site::THornIdentity>& identity) {
    if (!identity) return {};
    return FirmwareVersionText(identity->FirmwareMajor, identity->FirmwareMinor);
}

}  // namespace kstbell::service
