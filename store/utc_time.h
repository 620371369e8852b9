#pragma once

// Instants in the database: UTC, milliseconds since the Unix epoch, and their text form
// "2026-03-29T01:00:00.000Z" for people, logs and JSON.

#include <chrono>
#include <cstdint>
#include <string>

namespace kstbell::store {

using TUtcTime = std::chrono::sys_time<std::chrono::milliseconds>;

std::int64_t ToUnixMs(TUtcTime time);
TUtcTime FromUnixMs(std::int64_t ms);

// "YYYY-MM-DDTHH:MM:SS.mmmZ".
std::string FormatUtc(TUtcTime time);

}  // namespace kstbell::store
