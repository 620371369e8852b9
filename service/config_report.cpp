#include "service/config_report.h"

#include <sstream>

#include "calendar/calendar.h"
#include "calendar/clock_text.h"
#include "service/event_text.h"

namespace kstbell::service {

std::string NextBellsText(const TServiceConfig& config, std::chrono::sys_seconds after,
                          std::size_t count) {
    const calendar::TCalendar calendar(config.Calendar.Zone, config.Calendar.Schedule);
    const auto bells = calendar.Next(after, count);
    std::ostringstream out;
    out << "The next " << bells.size() << " bell(s), time zone " << calendar.Zone().Name() << ":\n";
    for (const auto& bell : bells) {
        out << calendar::FormatLocal(bell.Local) << "  " << calendar::FormatUtc(bell.At) << "  "
            << bell.Plan << "  group " << bell.Bell.Group << "  tone " << bell.Bell.Tone << "  "
            << DurationText(std::chrono::seconds(bell.Bell.DurationS));
        if (bell.Rule == calendar::EDayRule::Exception) out << "  (exception)";
        if (bell.Moved) out << "  (moved by a clock change)";
        out << "\n";
    }
    if (bells.size() < count) {
        const std::string limit = calendar.NextLimit(after);
        if (limit.empty()) {
            out << "No more bells within " << calendar::TCalendar::kNextSearchDays.count()
                << " days.\n";
        } else {
            out << "No more bells: " << limit << ".\n";
        }
    }
    return out.str();
}

std::string ConfigSummary(const TServiceConfig& config, std::chrono::sys_seconds now) {
    std::ostringstream out;
    out << config.Path << ": valid\n";
    out << "  site \"" << Printable(config.Site.Name) << "\", time zone "
        << config.Calendar.Zone.Name() << ", longest ring " << DurationText(config.Site.MaxRing)
        << ", late tolerance " << config.Calendar.LateTolerance.count() << " s\n";
    out << "  " << config.Horns.size() << " horn(s) on port " << config.Bridge.DevicePort
        << ", polled every " << config.Bridge.PollPeriodMs << " ms\n";
    out << "  groups:";
    for (const auto& g : config.Groups)
        out << " " << g.Name << " (" << g.Horns.size() << ")";
    out << "\n  alarms:";
    if (config.Alarms.empty()) out << " none";
    for (const auto& a : config.Alarms)
        out << " " << a.Name;
    std::size_t inputs = 0;
    for (const auto& rule : config.Inputs)
        inputs += rule.has_value();
    out << "\n  " << inputs << " horn input(s) start alarms\n";
    out << "  " << config.Calendar.Schedule.Plans.size() << " day plan(s), "
        << config.Calendar.Schedule.Exceptions.size() << " exception(s), "
        << config.Calendar.Schedule.Holidays.size() << " holiday(s)";
    if (config.Calendar.TimedEventsLeftOut)
        out << " (" << config.Calendar.TimedEventsLeftOut
            << " timed event(s) in the holiday files left out)";
    out << "\n  MQTT front: " << (config.HasBroker ? config.Bridge.BrokerUrl : "off") << "\n";
    const calendar::TCalendar calendar(config.Calendar.Zone, config.Calendar.Schedule);
    const auto next = calendar.Next(now, 1);
    if (next.empty()) {
        const std::string limit = calendar.NextLimit(now);
        out << "  no bells ahead" << (limit.empty() ? "" : ": " + limit) << "\n";
    } else {
        out << "  next bell: " << calendar::FormatLocal(next.front().Local) << " "
            << next.front().Plan << ", group " << next.front().Bell.Group << "\n";
    }
    return out.str();
}

}  // namespace kstbell::service
