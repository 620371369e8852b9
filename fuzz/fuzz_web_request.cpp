// The HTTP front's reading of a request as anybody on the network may send it: the target
// (path segments, percent escapes, query), the headers it reads (Cookie, Authorization,
// X-CSRF-Token, Content-Type, Content-Length, Transfer-Encoding) and a body, through the whole
// request pipeline with the real route table over the tests' fake service.
//
// Input: lines for the method, target, Cookie, Authorization, X-CSRF-Token, Content-Type,
// Content-Length and Transfer-Encoding (an empty line: no such header), then the body. No
// input throws, every answer is one the API describes, nothing needing credentials succeeds
// without the fake's own, and the answer's JSON can be written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "tests/web/fake_web_service.h"
#include "web/api_routes.h"
#include "web/json_views.h"
#include "web/request_pipeline.h"
#include "web/time_text.h"

namespace kstbell::fuzz {
namespace {

using namespace kstbell::web;

const TRouter& Router() {
    static const TRouter router(ApiRoutes({false, [] { return std::string("{}"); }}));
    return router;
}

std::vector<std::string> Header(std::string_view line) {
    return line.empty() ? std::vector<std::string>() : std::vector<std::string>{std::string(line)};
}

bool Known(int status) {
    for (const int s : {200, 201, 202, 204, 400, 401, 403, 404, 405, 409, 413, 415, 429, 503}) {
        if (status == s) return true;
    }
    return false;
}

}  // namespace
}  // namespace kstbell::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kstbell::fuzz;
    using namespace kstbell::web;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> lines;
    while (lines.size() < 8) {
        const auto end = input.find('\n');
        lines.push_back(input.substr(0, end));
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
    }
    const std::string body(input);

    test::TFakeWebService service;
    const TRequestPipeline pipeline(service, Router(), nullptr, 4096);
    TRequestView request;
    const std::string method(lines[0]);
    const std::string target(lines[1]);
    request.Method = method;
    request.Target = target;
    request.Cookies = Header(lines[2]);
    request.Authorization = Header(lines[3]);
    request.Csrf = Header(lines[4]);
    request.ContentType = Header(lines[5]);
    request.ContentLength = Header(lines[6]);
    request.TransferEncoding = Header(lines[7]);
    request.Client = "127.0.0.1";
    bool read = false;
    const auto reply = pipeline.Handle(request, [&](const TBodyReceiver& receiver) {
        read = true;
        const auto half = body.size() / 2;
        return receiver(body.data(), half) && receiver(body.data() + half, body.size() - half);
    });

    FUZZ_CHECK(Known(reply.Response.Status));
    const auto text = DumpJson(reply.Response.Json);
    FUZZ_CHECK(!text.empty());
    if (reply.Response.Status >= 400) {
        FUZZ_CHECK(reply.Response.Json["error"]["kind"].is_string());
        FUZZ_CHECK(!reply.Response.Json["error"]["message"].get<std::string>().empty());
    }
    // Only the fake's own token opens anything: the input would have to hold it.
    if (reply.Response.Status < 300 && reply.Route && reply.Route->Access != TAccess::Public) {
        FUZZ_CHECK(!reply.User.empty());
    }
    // A body is read only for a route that takes one.
    if (read) FUZZ_CHECK(reply.Route && reply.Route->Doc.Body);

    // The texts a query or path may carry, read on their own.
    if (const auto at = ParseInstant(target)) FUZZ_CHECK(ParseInstant(InstantText(*at)) == *at);
    if (const auto cursor = ParseCursor(target))
        FUZZ_CHECK(ParseCursor(CursorText(*cursor)) == cursor);
    return 0;
}
