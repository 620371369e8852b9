#pragma once

// Instants in the database: UTC, milliseconds since the Unix epoch, and their text form
// "2026-03-29T01:00:00.000Z" for people, logs and JSON.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::store {

using TUtcTime = std::chrono::sys_time<std::chrono::milliseconds>;

std::int64_t ToUnixMs(TUtcTime time);
TUtcTime FromUnixMs(std::int64_t ms);

// "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string FormatUtc(TUtcTime time);

// Accepts "YYYY-MM-DD" (midnight UTC) and "YYYY-MM-DD[T ]HH:MM[:SS[.f...]]" with an optional
// "Z"; fractions beyond milliseconds are cut. Nothing when the text is not such an instant
// or names a day or time that does not exist.
std::optional<TUtcTime> ParseUtc(std::string_view text);

}  // namespace kstbell::store
