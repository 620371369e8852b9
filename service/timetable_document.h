#pragma once

// The timetable as a document: the JSON that the database keeps and the API shows and takes
// ({"plans": {NAME: {"bells": [...]}}, "week": {...}, "holidays": [...]}), read with the site
// file's own reader (the document rendered as the file's [schedule] tables), so that a document
// is refused for the same mistakes as the file, each named by the same key and words; and what
// changed between two timetables, in words.

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "calendar/calendar_config.h"
#include "calendar/timetable.h"
#include "config/error.h"

namespace kstbell::service {

nlohmann::json TimetableJson(const calendar::TTimetable& timetable);
std::string TimetableDocument(const calendar::TTimetable& timetable);

// The document (JSON text) as a timetable; false with every mistake. groupExists (when set)
// adds a mistake for each bell of a group it does not know.
bool ReadTimetableDocument(const std::string& text,
                           const std::function<bool(const std::string&)>& groupExists,
                           calendar::TTimetable& timetable, std::vector<config::TError>& errors);

// A mistake of a document, which has no file or lines: "key 'KEY': REASON".
std::string DocumentMistake(const config::TError& error);

// "plan exams added (3 bells); plan school_day: 1 bell added, 2 changed; monday: school_day to
// none; holidays: 1 added", or "no change".
std::string TimetableChanges(const calendar::TTimetable& before, const calendar::TTimetable& after);

}  // namespace kstbell::service
