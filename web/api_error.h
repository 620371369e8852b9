#pragma once

// Why a request was not carried out, as a kind the API names in its answers
// ({"error":{"kind","message"}}) with the status code that goes with it, and a sentence for
// people that repeats no secret. The kinds of a horn's outcome keep the names the command line
// and the MQTT front give them.

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace kstbell::web {

enum class TErrorKind {
    InvalidInput,          // 400: the request breaks a rule (which key, which rule)
    Unauthenticated,       // 401: no credentials, or ones that open nothing
    Forbidden,             // 403: the role lacks the permission, or the CSRF token is missing
    NotFound,              // 404
    MethodNotAllowed,      // 405
    Misdirected,           // 421: the Host names another server than this one
    Conflict,              // 409: the thing is in another state (an alarm not sounding)
    LengthRequired,        // 411: a body without a length
    TooLarge,              // 413
    UnsupportedMediaType,  // 415: a body that is not JSON
    RateLimited,           // 429: try again after Retry-After
    Internal,              // 500
    Starting,              // 503: the service is not ready yet
    Busy,                  // 503: no room (event streams), or a horn's link is in use
    Unreachable,           // 502: a horn could not be connected to
    NoReply,               // 504: a horn did not answer in time
    Refused,               // 502: a horn refused the command
    Cancelled,             // 409: withdrawn before it was sent
    PreconditionFailed,    // 412: made from a version that is no longer the current one
    PreconditionRequired,  // 428: a change that must name the version it was made from
};

// "invalid_input", "unauthenticated", ...
std::string_view ErrorKindName(TErrorKind kind);
int ErrorStatus(TErrorKind kind);

struct TFailure {
    TErrorKind Kind = TErrorKind::InvalidInput;
    std::string Message;
    // Rate limited (and refused logins): how long before another attempt is let through.
    std::optional<std::chrono::seconds> RetryAfter;
    // Every mistake, one sentence each, when there are several (Message joins them).
    std::vector<std::string> Details{};

    bool operator==(const TFailure&) const = default;
};

inline TFailure Fail(TErrorKind kind, std::string message) {
    return {kind, std::move(message), std::nullopt, {}};
}

// What a call of the port that makes or reads something gives back: it, or why not.
template <typename T>
class TPortResult {
  public:
    TPortResult(T value) : value_(std::move(value)) {}             // NOLINT: a result is a value
    TPortResult(TFailure failure) : value_(std::move(failure)) {}  // NOLINT: or a failure

    bool Ok() const { return std::holds_alternative<T>(value_); }
    const T& Value() const { return std::get<T>(value_); }
    const TFailure& Failure() const { return std::get<TFailure>(value_); }

  private:
    std::variant<T, TFailure> value_;
};

// What a call that makes nothing gives back: nothing, or why not.
using TPortStatus = std::optional<TFailure>;

// Thrown by a call of the port that cannot answer at all (the service's database cannot be
// read): the front answers 500 with its message, never as a refusal of the caller.
class TServiceFault : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace kstbell::web
