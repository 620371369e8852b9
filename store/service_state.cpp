#include "store/service_state.h"

#include <SQLiteCpp/Statement.h>

#include <charconv>

#include "store/database.h"
#include "store/store_error.h"

namespace kstbell::store {

std::optional<std::string> TServiceState::Get(const std::string& key) const {
    return Guarded("reading the service state", [&] {
        return db_.Read([&](SQLite::Database& connection) -> std::optional<std::string> {
            SQLite::Statement select(connection, "SELECT value FROM service_state WHERE key = ?");
            select.bind(1, key);
            if (!select.executeStep()) return std::nullopt;
            return select.getColumn(0).getString();
        });
    });
}

void TServiceState::Set(const std::string& key, const std::string& value) {
    Guarded("writing the service state", [&] {
        db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement upsert(connection,
                                     "INSERT INTO service_state (key, value) VALUES (?, ?) ON "
                                     "CONFLICT (key) DO UPDATE SET value = excluded.value");
            upsert.bind(1, key);
            upsert.bind(2, value);
            upsert.exec();
        });
    });
}

void TServiceState::Erase(const std::string& key) {
    Guarded("writing the service state", [&] {
        db_.Write([&](SQLite::Database& connection) {
            SQLite::Statement remove(connection, "DELETE FROM service_state WHERE key = ?");
            remove.bind(1, key);
            remove.exec();
        });
    });
}

std::optional<TUtcTime> TServiceState::GetTime(const std::string& key) const {
    const auto text = Get(key);
    if (!text) return std::nullopt;
    std::int64_t ms = 0;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), ms);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return FromUnixMs(ms);
}

void TServiceState::SetTime(const std::string& key, TUtcTime value) {
    Set(key, std::to_string(ToUnixMs(value)));
}

}  // namespace kstbell::store
