#pragma once

// The head of the next request in a connection's buffer, looked at before a worker takes it:
// whether it is complete, whether it keeps within the limits of size and header count, and
// how many body bytes to read before the request can be served without waiting on the client.
// Only the framing is read here; the HTTP library parses the head again when it serves it.

#include <cstddef>
#include <string_view>

namespace kstbell::web {

struct THeadLimits {
    std::size_t MaxHeadBytes = 16384;  // request line, header lines and the blank line
    std::size_t MaxHeaderLines = 100;
    std::size_t MaxBodyBytes = 65536;  // a body up to this is read before the request is served
};

struct THeadScan {
    enum class TState {
        Incomplete,      // more bytes are needed
        Ready,           // head (and the body to read first) complete: serve it
        TargetTooLong,   // the request line alone exceeds the head's size: 414
        HeadTooLarge,    // 431
        TooManyHeaders,  // 431
    };
    TState State = TState::Incomplete;
    std::size_t HeadBytes = 0;  // Ready: the head's length with its blank line
    std::string_view Method;    // Ready: from the request line
    std::string_view Target;
};

// Looks at buffer, which starts with the next request. A head is complete at its blank line;
// a body with one valid Content-Length within the limit must then be in the buffer too. A head
// with chunks, an Expect, several lengths or one too large is ready at once: the request's
// checks refuse it or answer the Expect without waiting for a body.
THeadScan ScanHead(std::string_view buffer, const THeadLimits& limits);

}  // namespace kstbell::web
