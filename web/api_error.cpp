#include "web/api_error.h"

namespace kstbell::web {

std::string_view ErrorKindName(TErrorKind kind) {
    switch (kind) {
        case TErrorKind::InvalidInput:
            return "invalid_input";
        case TErrorKind::Unauthenticated:
            return "unauthenticated";
        case TErrorKind::Forbidden:
            return "forbidden";
        case TErrorKind::NotFound:
            return "not_found";
        case TErrorKind::MethodNotAllowed:
            return "method_not_allowed";
        case TErrorKind::Misdirected:
            return "misdirected";
        case TErrorKind::Conflict:
            return "conflict";
        case TErrorKind::LengthRequired:
            return "length_required";
        case TErrorKind::TooLarge:
            return "too_large";
        case TErrorKind::UnsupportedMediaType:
            return "unsupported_media_type";
        case TErrorKind::RateLimited:
            return "rate_limited";
        case TErrorKind::Internal:
            return "internal";
        case TErrorKind::Starting:
            return "starting";
        case TErrorKind::Busy:
            return "busy";
        case TErrorKind::Unreachable:
            return "unreachable";
        case TErrorKind::NoReply:
            return "no_reply";
        case TErrorKind::Refused:
            return "refused";
        case TErrorKind::Cancelled:
            return "cancelled";
        case TErrorKind::PreconditionFailed:
            return "precondition_failed";
        case TErrorKind::PreconditionRequired:
            return "precondition_required";
    }
    return "internal";
}

int ErrorStatus(TErrorKind kind) {
    switch (kind) {
        case TErrorKind::InvalidInput:
            return 400;
        case TErrorKind::Unauthenticated:
            return 401;
        case TErrorKind::Forbidden:
            return 403;
        case TErrorKind::NotFound:
            return 404;
        case TErrorKind::MethodNotAllowed:
            return 405;
        case TErrorKind::Misdirected:
            return 421;
        case TErrorKind::Conflict:
            return 409;
        case TErrorKind::LengthRequired:
            return 411;
        case TErrorKind::TooLarge:
            return 413;
        case TErrorKind::UnsupportedMediaType:
            return 415;
        case TErrorKind::RateLimited:
            return 429;
        case TErrorKind::Internal:
            return 500;
        case TErrorKind::Starting:
            return 503;
        case TErrorKind::Busy:
            return 503;
        case TErrorKind::Unreachable:
            return 502;
        case TErrorKind::NoReply:
            return 504;
        case TErrorKind::Refused:
            return 502;
        case TErrorKind::Cancelled:
            return 409;
        case TErrorKind::PreconditionFailed:
            return 412;
        case TErrorKind::PreconditionRequired:
            return 428;
    }
    return 500;
}

}  // namespace kstbell::web
