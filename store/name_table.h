#pragma once

// Tables of (value, name) pairs for the enumerations the database and the service store by
// name: each name is written once, and both directions are looked up in the same table.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>

namespace kstbell::store {

// The values of a table, in its order.
template <typename TTable>
constexpr auto TableValues(const TTable& table) {
    std::array<typename TTable::value_type::first_type, std::tuple_size_v<TTable>> values{};
    for (std::size_t i = 0; i < table.size(); ++i)
        values[i] = table[i].first;
    return values;
}

// The name of a value, "unknown" for a value outside the table.
template <typename TTable, typename TValue>
std::string_view NameIn(const TTable& table, TValue value) {
    for (const auto& [known, name] : table) {
        if (known == value) return name;
    }
    return "unknown";
}

// The value of a name, none for a name outside the table.
template <typename TTable>
auto ValueIn(const TTable& table, std::string_view name)
    -> std::optional<typename TTable::value_type::first_type> {
    for (const auto& [value, known] : table) {
        if (known == name) return value;
    }
    return std::nullopt;
}

}  // namespace kstbell::store
