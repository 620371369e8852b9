#include <cstdint>

#include "service/site_file_parts.h"
#include "web/host_check.h"

namespace kstbell::service {

namespace {

constexpr std::int64_t kLongestIdleMin = 7 * 24 * 60;
constexpr std::int64_t kSmallestBody = 1024;
constexpr std::int64_t kLargestBody = 16 * 1024 * 1024;
constexpr std::int64_t kMostStreams = 10000;
constexpr std::int64_t kMostPerClient = 4096;

}  // namespace

void ReadHttpSection(const toml::node& node, config::TReader& values, web::THttpConfig& http) {
    const toml::table* table = values.Table(node, "http");
    if (!table) return;
    const toml::node* cert = nullptr;
    const toml::node* key = nullptr;
    for (const auto& [name, value] : *table) {
        const std::string full = "http." + std::string(name.str());
        if (name == "listen") {
            if (auto text = values.Text(value, full)) {
                std::string why;
                if (auto listen = web::ParseListen(*text, why))
                    http.Listen = *listen;
                else
                    values.Fail(value, full, why);
            }
        } else if (name == "tls_cert" || name == "tls_key") {
            if (auto text = values.Text(value, full)) {
                (name == "tls_cert" ? http.TlsCert : http.TlsKey) = *text;
                (name == "tls_cert" ? cert : key) = &value;
            }
        } else if (name == "metrics_public") {
            if (auto flag = values.Bool(value, full)) http.MetricsPublic = *flag;
        } else if (name == "session_idle_min") {
            if (auto idle = values.Duration<std::chrono::minutes>(value, full, 1, kLongestIdleMin))
                http.SessionIdle = *idle;
        } else if (name == "max_body_bytes") {
            if (auto bytes = values.Integer<std::size_t>(value, full, kSmallestBody, kLargestBody))
                http.MaxBodyBytes = *bytes;
        } else if (name == "event_streams") {
            if (auto streams = values.Integer<std::size_t>(value, full, 1, kMostStreams))
                http.EventStreams = *streams;
        } else if (name == "connections_per_client") {
            if (auto most = values.Integer<std::size_t>(value, full, 1, kMostPerClient))
                http.ConnectionsPerClient = *most;
        } else if (name == "names") {
            const toml::array* list = values.Array(value, full, "must be a list of host names");
            if (!list) continue;
            http.Names.clear();
            for (std::size_t i = 0; i < list->size(); ++i) {
                const auto& item = *list->get(i);
                const std::string at = full + "[" + std::to_string(i) + "]";
                std::string why;
                const auto* text = item.as_string();
                if (!text) {
                    values.Fail(item, at, "must be a text");
                } else if (!web::ValidHostName(text->get(), why)) {
                    values.Fail(item, at, why);
                } else {
                    http.Names.push_back(text->get());
                }
            }
        } else {
            values.Unknown(value, full,
                           "listen, tls_cert, tls_key, metrics_public, session_idle_min, "
                           "max_body_bytes, event_streams, connections_per_client and names "
                           "are");
        }
    }
    // HTTPS needs both files; one alone would serve plain HTTP where HTTPS was meant.
    if (cert && !key) values.Fail(*cert, "http.tls_cert", "needs tls_key as well");
    if (key && !cert) values.Fail(*key, "http.tls_key", "needs tls_cert as well");
}

}  // namespace kstbell::service
