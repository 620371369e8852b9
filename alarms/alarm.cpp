#include "alarms/alarm.h"

#include <utility>

namespace kstbell::alarms {

site::TMillis AlarmLength(const TAlarm& alarm) {
    site::TMillis once{0};
    for (const auto& step : alarm.Steps)
        once += step.On + step.Off;
    return once * alarm.Repeat;
}

site::TRingOrder AlarmRing(const TAlarm& alarm, std::vector<std::size_t> horns, site::TCause cause,
                           std::string actor) {
    site::TRingOrder order;
    order.Horns = std::move(horns);
    order.Tone = alarm.Tone;
    order.Duration = AlarmLength(alarm);
    order.Pattern = alarm.Steps;
    order.Repeat = alarm.Repeat;
    order.Priority = alarm.Priority;
    order.Insist = true;
    order.Cause = cause;
    order.Actor = std::move(actor);
    order.Label = alarm.Name;
    return order;
}

}  // namespace kstbell::alarms
