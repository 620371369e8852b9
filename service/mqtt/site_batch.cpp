#include "service/mqtt/site_batch.h"

#include <algorithm>
#include <set>

namespace kstbell::service {

namespace {

bool Shares(const std::vector<std::size_t>& a, const std::vector<std::size_t>& b) {
    return std::any_of(a.begin(), a.end(),
                       [&](std::size_t h) { return std::find(b.begin(), b.end(), h) != b.end(); });
}

}  // namespace

bool IsStop(const TQueuedCommand& c) {
    if (c.Horn) return c.Horn->Command.Kind == site::TCommandKind::Relay && !c.Horn->Command.On;
    if (!c.Site || !c.Site->Error.empty()) return false;
    return c.Site->Address.Kind == TSiteCommandKind::StopAll || !c.Site->On;
}

bool IsUrgentStop(const TQueuedCommand& c) {
    if (!c.Site || !c.Site->Error.empty()) return false;
    return c.Site->Address.Kind == TSiteCommandKind::StopAll ||
           (c.Site->Address.Kind == TSiteCommandKind::AlarmSwitch && !c.Site->On);
}

bool IsRing(const TQueuedCommand& c) {
    if (c.Horn) return c.Horn->Command.Kind == site::TCommandKind::Relay && c.Horn->Command.On;
    if (!c.Site || !c.Site->Error.empty()) return false;
    return c.Site->Address.Kind != TSiteCommandKind::StopAll && c.Site->On;
}

std::vector<bool> Superseded(const std::vector<TQueuedCommand>& batch,
                             const std::vector<std::string>& groupNames,
                             const std::vector<std::vector<std::size_t>>& groupHorns) {
    std::vector<bool> superseded(batch.size(), false);
    // Per group and per horn: a later command for it stands with nothing touching its horns in
    // between.
    std::vector<bool> followed(groupNames.size(), false);
    std::set<std::size_t> followedHorns;
    bool stopAllLater = false;
    const auto groupOf = [&](const std::string& name) {
        return static_cast<std::size_t>(std::find(groupNames.begin(), groupNames.end(), name) -
                                        groupNames.begin());
    };
    const auto hornsOf = [&](std::size_t g) -> const std::vector<std::size_t>& {
        static const std::vector<std::size_t> none;
        return g < groupHorns.size() ? groupHorns[g] : none;
    };
    for (std::size_t i = batch.size(); i-- > 0;) {
        const TQueuedCommand& c = batch[i];
        if (c.Horn) {
            const std::size_t horn = c.Horn->Horn;
            for (std::size_t g = 0; g < groupNames.size(); ++g) {
                const auto& horns = hornsOf(g);
                if (std::find(horns.begin(), horns.end(), horn) != horns.end()) followed[g] = false;
            }
            if (c.Horn->Command.Kind != site::TCommandKind::Relay) {
                followedHorns.erase(horn);
                continue;
            }
            superseded[i] = stopAllLater || followedHorns.count(horn) > 0;
            followedHorns.insert(horn);
        } else if (!c.Site || !c.Site->Error.empty()) {
            continue;  // refused: it changes nothing
        } else if (c.Site->Address.Kind == TSiteCommandKind::StopAll) {
            stopAllLater = true;
        } else if (c.Site->Address.Kind == TSiteCommandKind::GroupSiren) {
            const std::size_t g = groupOf(c.Site->Address.Name);
            if (g >= groupNames.size()) continue;
            superseded[i] = stopAllLater || followed[g];
            for (std::size_t other = 0; other < groupNames.size(); ++other)
                if (other != g && Shares(hornsOf(g), hornsOf(other))) followed[other] = false;
            followed[g] = true;
            for (std::size_t h : hornsOf(g))
                followedHorns.erase(h);
        } else {
            // An alarm's horns: any.
            std::fill(followed.begin(), followed.end(), false);
            followedHorns.clear();
        }
    }
    return superseded;
}

}  // namespace kstbell::service
