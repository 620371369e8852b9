#pragma once

// What the users tests share: a store in a temporary state folder, changes made by a test
// admin at a given moment, and a search for a secret in every byte the store wrote.

#include <string>
#include <string_view>

#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::users::test {

using store::test::At;
using store::test::TTempDir;

inline store::TChange By(long long ms, std::string actor = "root") {
    return {.At = At(ms), .Actor = std::move(actor), .Cause = store::TAuditCause::Cli};
}

// Whether text is in the database file or its write-ahead log.
inline bool Stored(const store::TStore& store, std::string_view text) {
    for (const char* suffix : {"", "-wal"}) {
        const std::string bytes = store::test::ReadBytes(store.File().string() + suffix);
        if (bytes.find(text) != std::string::npos) return true;
    }
    return false;
}

// Every audit entry, oldest first.
inline std::vector<store::TAuditEntry> Log(store::TStore& store) {
    return store.Log().Query({.Order = store::TAuditOrder::OldestFirst}).Entries;
}

}  // namespace kstbell::users::test
