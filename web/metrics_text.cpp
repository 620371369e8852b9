#include "web/metrics_text.h"

#include <charconv>
#include <cmath>

namespace kstbell::web {

namespace {

std::string Float(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("NaN");
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

std::string HornLabels(const THornMetrics& horn) {
    return "{address=\"" + LabelValue(horn.Address) + "\",name=\"" + LabelValue(horn.Name) +
           "\",id=\"" + LabelValue(horn.Id) + "\"}";
}

template <typename F>
void PerHorn(std::string& out, const TMetrics& metrics, const char* name, const char* help,
             F value) {
    Family(out, name, "gauge", help);
    for (const auto& horn : metrics.Horns) {
        const auto v = value(horn);
        if (!v) continue;
        out += name;
        out += HornLabels(horn);
        out += ' ';
        out += Float(*v);
        out += '\n';
    }
}

void ByLabel(std::string& out, const char* name, const char* label,
             const std::vector<std::pair<std::string, std::uint64_t>>& counts) {
    for (const auto& [value, count] : counts) {
        out += name;
        out += "{";
        out += label;
        out += "=\"" + LabelValue(value) + "\"} " + std::to_string(count) + "\n";
    }
}

}  // namespace

std::string LabelValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string MetricsText(const TMetrics& metrics) {
    std::string out;
    out.reserve(256 + metrics.Horns.size() * 600);
    using TValue = std::optional<double>;
    PerHorn(out, metrics, "kstbell_horn_up", "Whether the horn answers its polls (1) or not (0).",
            [](const THornMetrics& h) -> TValue { return h.Up ? 1 : 0; });
    PerHorn(out, metrics, "kstbell_horn_output", "The horn's relay output: 1 sounding, 0 off.",
            [](const THornMetrics& h) -> TValue { return h.Output ? 1 : 0; });
    PerHorn(out, metrics, "kstbell_horn_input", "The horn's digital input: 1 on, 0 off.",
            [](const THornMetrics& h) -> TValue { return h.Input ? 1 : 0; });
    PerHorn(out, metrics, "kstbell_horn_rssi_dbm", "The horn's Wi-Fi signal in dBm.",
            [](const THornMetrics& h) -> TValue {
                return h.RssiDbm ? TValue(*h.RssiDbm) : std::nullopt;
            });
    PerHorn(out, metrics, "kstbell_horn_last_poll_timestamp_seconds",
            "When the horn last answered a poll, in seconds since the epoch.",
            [](const THornMetrics& h) -> TValue {
                if (!h.LastPoll) return std::nullopt;
                return std::chrono::duration<double>(h.LastPoll->time_since_epoch()).count();
            });

    const auto& poll = metrics.PollSeconds;
    Family(out, "kstbell_poll_duration_seconds", "histogram", "How long a poll of a horn took.");
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < poll.Bounds.size(); ++i) {
        total += i < poll.Counts.size() ? poll.Counts[i] : 0;
        out += "kstbell_poll_duration_seconds_bucket{le=\"" + Float(poll.Bounds[i]) + "\"} " +
               std::to_string(total) + "\n";
    }
    if (poll.Counts.size() > poll.Bounds.size()) total += poll.Counts[poll.Bounds.size()];
    out += "kstbell_poll_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(total) + "\n";
    out += "kstbell_poll_duration_seconds_sum " + Float(poll.Sum) + "\n";
    out += "kstbell_poll_duration_seconds_count " + std::to_string(total) + "\n";

    Family(out, "kstbell_rings_total", "counter", "Rings started, by cause.");
    ByLabel(out, "kstbell_rings_total", "cause", metrics.RingsByCause);
    Family(out, "kstbell_alarms_total", "counter", "Alarms started, by cause.");
    ByLabel(out, "kstbell_alarms_total", "cause", metrics.AlarmsByCause);
    Family(out, "kstbell_bells_total", "counter", "Scheduled bells, fired or missed.");
    ByLabel(out, "kstbell_bells_total", "result",
            {{"fired", metrics.BellsFired}, {"missed", metrics.BellsMissed}});
    Family(out, "kstbell_audit_lost_total", "counter",
           "Audit entries that could not be written to the database and are lost.");
    out += "kstbell_audit_lost_total " + std::to_string(metrics.AuditLost) + "\n";
    return out;
}

}  // namespace kstbell::web
