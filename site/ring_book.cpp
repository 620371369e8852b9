#include "site/ring_book.h"

#include <algorithm>
#include <set>

namespace kstbell::site {

namespace {

TMillis PatternLength(const TRingOrder& order) {
    TMillis one{0};
    for (const auto& s : order.Pattern)
        one += s.On + s.Off;
    return one * std::max(order.Repeat, 1);
}

}  // namespace

TRingBook::TRingBook(std::size_t horns, TRingRules rules, std::uint64_t firstId)
    : rules_(rules), nextId_(std::max<std::uint64_t>(firstId, 1)), horns_(horns) {}

std::uint8_t TRingBook::SoundingTone(const TRing& r) const {
    if (r.Record.Order.Pattern.empty()) return r.Record.Order.Tone;
    return r.Record.Order.Pattern[r.Step].Tone.value_or(r.Record.Order.Tone);
}

TRingStart TRingBook::Start(TRingOrder order, TNow now) {
    TRingStart out;
    TRing r;
    r.Record.Id = nextId_++;
    TMillis length{0};
    if (order.Pattern.empty()) {
        if (order.Duration <= TMillis::zero()) order.Duration = rules_.MaxRing;
        if (order.Duration > rules_.MaxRing) {
            order.Duration = rules_.MaxRing;
            out.Clamped = true;
        }
        length = order.Duration;
    } else {
        order.Repeat = std::max(order.Repeat, 1);
        length = PatternLength(order);
        r.NextStep = now.Steady + order.Pattern[0].On;
    }
    r.Begin = now.Steady;
    r.Finish = now.Steady + length;
    r.Record.Start = now.Wall;
    r.Record.End = now.Wall + length;
    std::sort(order.Horns.begin(), order.Horns.end());
    order.Horns.erase(std::unique(order.Horns.begin(), order.Horns.end()), order.Horns.end());
    r.Record.Order = std::move(order);
    const std::uint64_t id = r.Record.Id;
    const int priority = r.Record.Order.Priority;
    for (std::size_t h : r.Record.Order.Horns) {
        if (h >= horns_.size()) continue;
        THorn& horn = horns_[h];
        if (horn.Holder != 0) {
            TRing& held = rings_.at(horn.Holder);
            const int heldPriority = held.Record.Order.Priority;
            const bool take =
                priority > heldPriority || (priority == heldPriority && r.Finish > held.Finish);
            if (!take) {
                out.HeldByOthers.push_back(h);
                continue;
            }
            // The ring that had the horn loses it for good.
            held.Horns.erase(std::remove(held.Horns.begin(), held.Horns.end(), h),
                             held.Horns.end());
        }
        horn.Holder = id;
        horn.Owed = 0;
        horn.WantOff = false;
        r.Horns.push_back(h);
        out.Taken.push_back(h);
    }
    const std::uint8_t tone = SoundingTone(r);
    for (std::size_t h : r.Horns)
        out.Switches.push_back({h, true, tone, id});
    out.Record = r.Record;
    rings_.emplace(id, std::move(r));
    return out;
}

void TRingBook::Release(std::size_t horn, std::uint64_t ring, TRingUpdate& u) {
    THorn& h = horns_[horn];
    if (h.Holder == ring) h.Holder = 0;
    h.Owed = 0;
    h.WantOff = true;
    h.Pending.push_back(ring);
    u.Switches.push_back({horn, false, 0, ring});
}

void TRingBook::EndRing(std::map<std::uint64_t, TRing>::iterator it, bool stopped, TRingUpdate& u) {
    TRing& r = it->second;
    for (std::size_t h : r.Horns)
        Release(h, r.Record.Id, u);
    u.Ended.push_back({r.Record.Id, stopped, r.Horns});
    rings_.erase(it);
}

TRingUpdate TRingBook::Stop(std::uint64_t ring) {
    TRingUpdate u;
    const auto it = rings_.find(ring);
    if (it != rings_.end()) EndRing(it, true, u);
    return u;
}

TRingUpdate TRingBook::StopHorn(std::size_t horn) {
    TRingUpdate u;
    if (horn >= horns_.size()) return u;
    THorn& h = horns_[horn];
    if (h.Holder != 0) {
        const auto it = rings_.find(h.Holder);
        TRing& r = it->second;
        r.Horns.erase(std::remove(r.Horns.begin(), r.Horns.end(), horn), r.Horns.end());
        Release(horn, r.Record.Id, u);
        if (r.Horns.empty()) EndRing(it, true, u);
        return u;
    }
    // Nothing of ours holds it: told off all the same, and again until it is seen off.
    h.WantOff = true;
    u.Switches.push_back({horn, false, 0, 0});
    return u;
}

TRingUpdate TRingBook::StopAll() {
    TRingUpdate u;
    while (!rings_.empty())
        EndRing(rings_.begin(), true, u);
    std::set<std::size_t> told;
    for (const auto& s : u.Switches)
        told.insert(s.Horn);
    for (std::size_t h = 0; h < horns_.size(); ++h) {
        horns_[h].WantOff = true;
        if (!told.count(h)) u.Switches.push_back({h, false, 0, 0});
    }
    return u;
}

void TRingBook::StepPattern(TRing& r, TSteady now, TRingUpdate& u) {
    const auto& pattern = r.Record.Order.Pattern;
    while (r.NextStep <= now && r.NextStep < r.Finish) {
        if (r.Sounding) {
            r.Sounding = false;
            r.NextStep += pattern[r.Step].Off;
            if (pattern[r.Step].Off > TMillis::zero())
                for (std::size_t h : r.Horns)
                    u.Switches.push_back({h, false, 0, r.Record.Id});
            continue;
        }
        if (++r.Step == pattern.size()) {
            r.Step = 0;
            ++r.Round;
        }
        r.Sounding = true;
        r.NextStep += pattern[r.Step].On;
        for (std::size_t h : r.Horns)
            u.Switches.push_back({h, true, SoundingTone(r), r.Record.Id});
    }
}

TRingUpdate TRingBook::Advance(TSteady now) {
    TRingUpdate u;
    for (auto& [id, r] : rings_)
        if (!r.Record.Order.Pattern.empty()) StepPattern(r, now, u);
    for (auto it = rings_.begin(); it != rings_.end();) {
        const auto next = std::next(it);
        if (it->second.Finish <= now) EndRing(it, false, u);
        it = next;
    }
    return u;
}

std::optional<TSteady> TRingBook::NextDeadline() const {
    std::optional<TSteady> next;
    for (const auto& [id, r] : rings_) {
        TSteady t = r.Finish;
        if (!r.Record.Order.Pattern.empty() && r.NextStep < t) t = r.NextStep;
        if (!next || t < *next) next = t;
    }
    return next;
}

TRingUpdate TRingBook::Observed(std::size_t horn, bool output) {
    TRingUpdate u;
    if (horn >= horns_.size()) return u;
    THorn& h = horns_[horn];
    h.Output = output;
    if (h.Holder != 0) {
        const TRing& r = rings_.at(h.Holder);
        const bool sounding = r.Record.Order.Pattern.empty() || r.Sounding;
        const bool owed = h.Owed == h.Holder;
        if (output && sounding) h.Owed = 0;
        if (output && !sounding) u.Switches.push_back({horn, false, 0, r.Record.Id});
        if (!output && sounding && (r.Record.Order.Insist || owed)) {
            h.Owed = 0;
            u.Switches.push_back({horn, true, SoundingTone(r), r.Record.Id});
        }
        return u;
    }
    if (h.WantOff) {
        if (output) {
            u.Switches.push_back({horn, false, 0, h.Pending.empty() ? 0 : h.Pending.back()});
            return u;
        }
        h.WantOff = false;
        for (std::uint64_t ring : h.Pending)
            u.ConfirmedOff.emplace_back(ring, horn);
        h.Pending.clear();
        return u;
    }
    if (output) {
        u.Unowned.push_back(horn);
        if (rules_.StopUnowned) {
            h.WantOff = true;
            u.Switches.push_back({horn, false, 0, 0});
        }
    }
    return u;
}

void TRingBook::Owe(std::size_t horn, std::uint64_t ring) {
    if (horn < horns_.size() && ring != 0 && horns_[horn].Holder == ring) horns_[horn].Owed = ring;
}

TRingUpdate TRingBook::Restore(const std::vector<TRingRecord>& running,
                               const std::vector<TRingEnd>& endedUnconfirmed, TNow now) {
    TRingUpdate u;
    for (const auto& e : endedUnconfirmed) {
        nextId_ = std::max(nextId_, e.Ring + 1);
        for (std::size_t h : e.Horns)
            if (h < horns_.size()) Release(h, e.Ring, u);
    }
    for (const auto& record : running) {
        nextId_ = std::max(nextId_, record.Id + 1);
        if (record.End <= now.Wall) {
            // It ended while nobody watched: its horns are told off until seen off.
            for (std::size_t h : record.Order.Horns)
                if (h < horns_.size()) Release(h, record.Id, u);
            u.Ended.push_back({record.Id, false, record.Order.Horns});
            continue;
        }
        TRing r;
        r.Record = record;
        // Where the ring stands by the wall clock is all a restart knows; from here on it is
        // measured on the steady clock.
        r.Begin =
            now.Steady + std::chrono::duration_cast<TSteady::duration>(record.Start - now.Wall);
        r.Finish =
            now.Steady + std::chrono::duration_cast<TSteady::duration>(record.End - now.Wall);
        const int priority = record.Order.Priority;
        for (std::size_t h : record.Order.Horns) {
            if (h >= horns_.size()) continue;
            THorn& horn = horns_[h];
            if (horn.Holder != 0) {
                TRing& held = rings_.at(horn.Holder);
                const int heldPriority = held.Record.Order.Priority;
                if (priority < heldPriority ||
                    (priority == heldPriority && r.Finish <= held.Finish))
                    continue;
                held.Horns.erase(std::remove(held.Horns.begin(), held.Horns.end(), h),
                                 held.Horns.end());
            }
            horn.Holder = record.Id;
            horn.WantOff = false;
            r.Horns.push_back(h);
        }
        if (!record.Order.Pattern.empty()) {
            // Where the pattern stands now; an alarm goes on from there.
            r.NextStep = r.Begin + record.Order.Pattern[0].On;
            TRingUpdate ignored;
            StepPattern(r, now.Steady, ignored);
            if (record.Order.Insist)
                for (std::size_t h : r.Horns)
                    u.Switches.push_back(
                        {h, r.Sounding, r.Sounding ? SoundingTone(r) : std::uint8_t{0}, record.Id});
        }
        rings_.emplace(record.Id, std::move(r));
    }
    return u;
}

std::vector<TRingRecord> TRingBook::Active() const {
    std::vector<TRingRecord> out;
    for (const auto& [id, r] : rings_)
        out.push_back(r.Record);
    return out;
}

std::optional<std::uint64_t> TRingBook::Holder(std::size_t horn) const {
    if (horn >= horns_.size() || horns_[horn].Holder == 0) return std::nullopt;
    return horns_[horn].Holder;
}

bool TRingBook::WantsOff(std::size_t horn) const {
    return horn < horns_.size() && horns_[horn].WantOff;
}

}  // namespace kstbell::site
