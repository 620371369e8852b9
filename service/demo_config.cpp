#include "service/demo_config.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "calendar/clock_text.h"
#include "calendar/time_zone.h"

namespace kstbell::service {

namespace {

using namespace std::chrono;

enum class EPlace { GroundFloor, FirstFloor, Outdoor };

constexpr std::array<const char*, 3> kGroupNames = {"ground_floor", "first_floor", "outdoor"};

struct TRoom {
    std::string Name;
    EPlace Place;
};

// One building's horns, in an order that puts a horn in every group from the third on.
std::vector<TRoom> Building() {
    std::vector<TRoom> rooms = {
        {"Entrance", EPlace::GroundFloor},   {"Science lab", EPlace::FirstFloor},
        {"Playground", EPlace::Outdoor},     {"Hall", EPlace::GroundFloor},
        {"Gym", EPlace::GroundFloor},        {"Library", EPlace::GroundFloor},
        {"Art room", EPlace::FirstFloor},    {"Sports field", EPlace::Outdoor},
        {"Canteen", EPlace::GroundFloor},    {"Computer room", EPlace::FirstFloor},
        {"Staff room", EPlace::GroundFloor}, {"Music room", EPlace::GroundFloor},
        {"Car park", EPlace::Outdoor},
    };
    // Classrooms, the two floors in turn: Room 101 to 118 below, Room 201 to 219 above.
    for (int n = 1; n <= 19; ++n) {
        if (n <= 18) rooms.push_back({"Room " + std::to_string(100 + n), EPlace::GroundFloor});
        rooms.push_back({"Room " + std::to_string(200 + n), EPlace::FirstFloor});
    }
    return rooms;
}

// The i-th horn's room: the building's rooms, then "Block 2 ..." and so on.
TRoom RoomOf(const std::vector<TRoom>& building, std::size_t i) {
    TRoom room = building[i % building.size()];
    if (const std::size_t block = i / building.size(); block > 0)
        room.Name = "Block " + std::to_string(block + 1) + " " + room.Name;
    return room;
}

struct TDemoBell {
    int Hour, Minute;
    EPlace Where;
    bool All;  // every horn rather than the place's group
    int Tone, DurationS;
};

// 08:00 to 15:30: lessons of 45 min with 5 min between them, breaks of 15 min after the second
// and fourth, lunch of 40 min after the fifth; outdoors a call in two minutes before a break
// ends.
constexpr TDemoBell kSchoolDay[] = {
    {8, 0, EPlace::GroundFloor, true, 1, 5},    // the day starts: lesson 1
    {8, 45, EPlace::GroundFloor, true, 0, 3},   // lesson 1 ends
    {8, 50, EPlace::GroundFloor, true, 1, 3},   // lesson 2
    {9, 35, EPlace::GroundFloor, true, 0, 3},   // break
    {9, 48, EPlace::Outdoor, false, 2, 3},      // come in
    {9, 50, EPlace::GroundFloor, true, 1, 3},   // lesson 3
    {10, 35, EPlace::GroundFloor, true, 0, 3},  //
    {10, 40, EPlace::GroundFloor, true, 1, 3},  // lesson 4
    {11, 25, EPlace::GroundFloor, true, 0, 3},  // break
    {11, 38, EPlace::Outdoor, false, 2, 3},     // come in
    {11, 40, EPlace::GroundFloor, true, 1, 3},  // lesson 5
    {12, 25, EPlace::GroundFloor, true, 0, 3},  // lunch
    {13, 3, EPlace::Outdoor, false, 2, 3},      // come in
    {13, 5, EPlace::GroundFloor, true, 1, 3},   // lesson 6
    {13, 50, EPlace::GroundFloor, true, 0, 3},  //
    {13, 55, EPlace::GroundFloor, true, 1, 3},  // lesson 7
    {14, 40, EPlace::GroundFloor, true, 0, 3},  //
    {14, 45, EPlace::GroundFloor, true, 1, 3},  // lesson 8
    {15, 30, EPlace::GroundFloor, true, 2, 5},  // the day ends
};

constexpr seconds kDemoBellAfter = minutes(1);

std::string BellLine(seconds time, const std::string& group, int tone, int durationS) {
    return "  { time = \"" + calendar::FormatTimeOfDay(time) + "\", group = \"" + group +
           "\", tone = " + std::to_string(tone) + ", duration_s = " + std::to_string(durationS) +
           " },\n";
}

seconds TimeOf(const TDemoBell& bell) {
    return hours(bell.Hour) + minutes(bell.Minute);
}

// The school day's bells, with the demo bell at demoAt (a time of day) when it is given and
// no bell of the day rings every horn then.
std::string Bells(std::optional<seconds> demoAt) {
    std::string bells;
    if (demoAt && std::none_of(std::begin(kSchoolDay), std::end(kSchoolDay),
                               [&](const TDemoBell& b) { return b.All && TimeOf(b) == *demoAt; }))
        bells += BellLine(*demoAt, "all", 1, 3);
    for (const auto& b : kSchoolDay)
        bells += BellLine(TimeOf(b), b.All ? "all" : kGroupNames[static_cast<std::size_t>(b.Where)],
                          b.Tone, b.DurationS);
    return bells;
}

std::string QuotedList(const std::vector<std::string>& items) {
    std::string list;
    for (const auto& item : items)
        list += (list.empty() ? "\"" : ", \"") + item + "\"";
    return "[" + list + "]";
}

}  // namespace

std::string DemoConfig(const std::vector<std::string>& addresses) {
    const auto now = floor<seconds>(system_clock::now());
    return DemoConfig(addresses, calendar::TTimeZone::System().ToLocal(now));
}

std::string DemoConfig(const std::vector<std::string>& addresses, local_seconds start) {
    const std::vector<TRoom> building = Building();
    std::string horns;
    std::array<std::vector<std::string>, kGroupNames.size()> groups;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const TRoom room = RoomOf(building, i);
        horns += "\n[[devices.horn]]\naddress = \"" + addresses[i] + "\"\nname = \"" + room.Name +
                 "\"\n";
        if (i == 0) horns += "input_alarm = \"evacuation\"\ninput_hold_off_s = 60\n";
        groups[static_cast<std::size_t>(room.Place)].push_back(addresses[i]);
    }
    std::string groupTables;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        // A site of one or two horns still has every group the bells name.
        if (groups[g].empty()) groups[g].push_back(addresses.front());
        groupTables += std::string(kGroupNames[g]) + " = " + QuotedList(groups[g]) + "\n";
    }

    // The demo bell's day runs the plan "demo": the school day with that bell added.
    const local_seconds demoBell = start + kDemoBellAfter;
    const local_days demoDay = floor<days>(demoBell);

    return R"([site]
name = "Demo school"
max_ring_s = 180
late_tolerance_s = 60

[poll]
period_ms = 1000
)" + horns +
           R"(
[groups]
)" + groupTables +
           R"(
[schedule.week]
monday = "school_day"
tuesday = "school_day"
wednesday = "school_day"
thursday = "school_day"
friday = "school_day"

[schedule.day_plans.school_day]
bells = [
)" + Bells(std::nullopt) +
           R"(]

[schedule.day_plans.demo]
bells = [
)" + Bells(demoBell - demoDay) +
           R"(]

[[schedule.exceptions]]
date = ")" +
           calendar::FormatDate(year_month_day{demoDay}) +
           R"("
plan = "demo"
name = "Demo: a school day, with a demo bell a minute after the start"

[alarms.evacuation]
label = "Evacuation"
priority = 1000
tone = 3
repeat = 5
steps = [ { on_ms = 2000, off_ms = 1000 } ]

[alarms.all_clear]
label = "All clear"
priority = 500
tone = 2
steps = [ { on_ms = 2000, off_ms = 500 }, { on_ms = 2000, off_ms = 0 } ]
)";
}

}  // namespace kstbell::service
