#pragma once

// The one exception type of the store: every failure of the database, whatever its source,
// arrives as a TStoreError that says what kind of failure it is and, in its text, which file.

#include <stdexcept>
#include <string>

namespace kstbell::store {

enum class TStoreErrorKind {
    CannotOpen,  // the folder or file cannot be created, opened or read
    NotOurs,     // the file is not a database of this program (never written to)
    TooNew,      // the file was written by a newer program (never written to)
    Damaged,     // the file is ours but damaged: PRAGMA quick_check found faults (never written to)
    TooOld,      // opened for reading only, and its schema has not been brought up to date
    Failed,      // a statement failed (disk full, I/O error, read-only, a broken constraint)
};

class TStoreError : public std::runtime_error {
  public:
    TStoreError(TStoreErrorKind kind, const std::string& message);
    TStoreErrorKind Kind() const { return kind_; }

  private:
    TStoreErrorKind kind_;
};

// Runs body and turns whatever SQLite throws into a TStoreError(Failed) that names what was
// being done.
template <typename TBody>
auto Guarded(const char* what, TBody&& body) -> decltype(body());

// The message of a TStoreError(Failed) for an SQLite failure while doing what.
[[noreturn]] void ThrowFailed(const char* what, const std::exception& cause);

template <typename TBody>
auto Guarded(const char* what, TBody&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const TStoreError&) {
        throw;
    } catch (const std::exception& cause) {
        ThrowFailed(what, cause);
    }
}

}  // namespace kstbell::store
