#include "device/outcome.h"

namespace kstbell {

const char* OutcomeKindName(TOutcomeKind kind) {
    switch (kind) {
        case TOutcomeKind::Done:
            return "ok";
        case TOutcomeKind::Refused:
            return "refused";
        case TOutcomeKind::NoReply:
            return "no_reply";
        case TOutcomeKind::Unreachable:
            return "unreachable";
        case TOutcomeKind::SocketError:
            return "socket_error";
        case TOutcomeKind::NotLocated:
            return "not_located";
        case TOutcomeKind::Busy:
            return "busy";
        case TOutcomeKind::InvalidInput:
            return "invalid_input";
        case TOutcomeKind::VerifyFailed:
            return "verify_failed";
        case TOutcomeKind::Cancelled:
            return "cancelled";
    }
    return "socket_error";
}

}  // namespace kstbell
