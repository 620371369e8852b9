// The horns' names and the groups through the HTTP front: where each lives, and the changes
// to those the site file does not give.

#include "service/service.h"
#include "service/web_port.h"
#include "service/web_values.h"

namespace kstbell::service {

namespace {

web::TFailure NamesFailure(const TNamesOutcome& outcome) {
    using EResult = TNamesOutcome::EResult;
    switch (outcome.Result) {
        case EResult::FileOwned:
            return web::Fail(web::TErrorKind::Conflict,
                             outcome.Error +
                                 ": change it there, or take it out of the file to "
                                 "change it here");
        case EResult::InUse:
            return web::Fail(web::TErrorKind::Conflict, outcome.Error);
        case EResult::Invalid:
            return web::Fail(web::TErrorKind::InvalidInput, outcome.Error);
        case EResult::NotFound:
            return web::Fail(web::TErrorKind::NotFound, outcome.Error);
        case EResult::Done:
        case EResult::Failed:
            break;
    }
    return web::Fail(web::TErrorKind::Internal, "not saved: " + outcome.Error);
}

store::TChange NamesChange(const web::TCaller& caller) {
    return {StoreTime(std::chrono::system_clock::now()), caller.Actor(), store::TAuditCause::Http};
}

}  // namespace

void TWebPort::TakeNames() {
    const TSiteNames& names = service_.Names();
    std::vector<std::vector<std::string>> groups(service_.Config().Horns.size());
    for (const auto& group : names.Groups())
        for (std::size_t h : group.Horns)
            if (h < groups.size()) groups[h].push_back(group.Name);
    auto hornNames = names.Names();
    {
        const std::lock_guard lock(namesMutex_);
        hornGroups_ = std::move(groups);
        hornNames_ = std::move(hornNames);
    }
    ++hornsVersion_;
}

web::TNamesView TWebPort::NamesView() {
    const TSiteNames& names = service_.Names();
    web::TNamesView out;
    out.GroupsSource =
        names.GroupsFromFile() ? web::TNamesSource::File : web::TNamesSource::Database;
    out.Revision = names.Revision();
    const auto& horns = service_.Config().Horns;
    const auto now = names.Names();
    for (std::size_t h = 0; h < horns.size(); ++h)
        out.Horns.push_back(
            {horns[h].Address, h < now.size() ? now[h] : std::string(),
             names.NameFromFile(h) ? web::TNamesSource::File : web::TNamesSource::Database});
    return out;
}

web::TPortStatus TWebPort::RenameHorn(const std::string& address, const std::string& name,
                                      const web::TCaller& caller) {
    const auto index = HornIndex(address);
    if (!index) return web::Fail(web::TErrorKind::NotFound, "no horn at " + address);
    const auto outcome = service_.RenameHorn(*index, name, NamesChange(caller));
    if (!outcome.Ok()) return NamesFailure(outcome);
    TakeNames();
    if (const auto horn = Horn(address)) {
        const std::lock_guard lock(m_);
        Publish(*horn);
    }
    return std::nullopt;
}

web::TPortResult<web::TGroupInfo> TWebPort::SetGroup(const std::string& name,
                                                     const std::vector<std::string>& members,
                                                     const web::TCaller& caller) {
    const auto outcome = service_.SetGroup(name, members, NamesChange(caller));
    if (!outcome.Ok()) return NamesFailure(outcome);
    TakeNames();
    for (auto& group : Groups())
        if (group.Name == name) return group;
    return web::Fail(web::TErrorKind::Internal, "the group was saved but cannot be read back");
}

web::TPortStatus TWebPort::RemoveGroup(const std::string& name, const web::TCaller& caller) {
    const auto outcome = service_.RemoveGroup(name, NamesChange(caller));
    if (!outcome.Ok()) return NamesFailure(outcome);
    TakeNames();
    return std::nullopt;
}

}  // namespace kstbell::service
