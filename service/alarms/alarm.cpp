#include "service/alarms/alarm.h"

#include <utility>

namespace kstbell::alarms {

site::TMillis AlarmLength(const TAlarm& alarm) {
    site::TMillis once{0};
    for (const auto& step : alarm.Steps)
        once += step.On + step.Off;
    return once * alarm.Repeat;
}

site::TRingSpec AlarmRing(const TAlarm& alarm, std::vector<std::size_t> horns, site::TCause cause,
                          std::string actor) {
    site::TRingSpec spec;
    spec.Horns = std::move(horns);
    spec.Tone = alarm.Tone;
    spec.Duration = AlarmLength(alarm);
    spec.Pattern = alarm.Steps;
    spec.Repeat = alarm.Repeat;
    spec.Priority = alarm.Priority;
    spec.Insist = true;
    spec.Cause = cause;
    spec.Actor = std::move(actor);
    spec.Label = alarm.Name;
    return spec;
}

}  // namespace kstbell::alarms
