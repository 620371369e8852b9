#pragma once

// The service's numbers in the Prometheus text format (version 0.0.4): per horn whether it
// answers, its output, input, signal and last answered poll; the poll durations as a
// histogram; rings and alarms by cause; bells fired and missed.

#include <string>

#include "web/port_types.h"

namespace kstbell::web {

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

std::string MetricsText(const TMetrics& metrics);

// A label value with backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text);

}  // namespace kstbell::web
