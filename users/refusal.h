#pragma once

// Why a change to users or tokens was not made, as a kind a front maps to its answer (HTTP
// 400, 404, 409; the command line's exit code) and a sentence for people that repeats no
// secret.

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace kstbell::users {

enum class TRefusalKind {
    Invalid,    // a name, role or password that is not allowed, a token role above its user's
    NotFound,   // no such user or token
    Taken,      // the name is in use
    LastAdmin,  // it would leave no enabled admin, and so nobody who could administer the site
};

struct TRefusal {
    TRefusalKind Kind = TRefusalKind::Invalid;
    std::string Message;

    bool operator==(const TRefusal&) const = default;
};

// What a change that makes something gives back: the thing, or why not.
template <typename T>
class TResult {
  public:
    TResult(T value) : value_(std::move(value)) {}
    TResult(TRefusal refusal) : value_(std::move(refusal)) {}

    bool Ok() const { return std::holds_alternative<T>(value_); }
    const T& Value() const { return std::get<T>(value_); }
    const TRefusal& Refusal() const { return std::get<TRefusal>(value_); }

  private:
    std::variant<T, TRefusal> value_;
};

// What a change that makes nothing gives back: nothing, or why not.
using TRefused = std::optional<TRefusal>;

}  // namespace kstbell::users
