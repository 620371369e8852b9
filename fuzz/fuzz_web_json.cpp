// The API's JSON inputs: every route that takes a body, given any bytes as its body by an
// admin (so every check and handler behind the credentials is reached), over the tests' fake
// service. Input: a byte that picks the route, then the body.
//
// No body throws; a body is taken only when it is one JSON object with known keys of the right
// types; a refusal is 400 (or what the service answers: 404, 409) and names what is wrong.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "tests/web/fake_web_service.h"
#include "web/api_routes.h"
#include "web/fields.h"
#include "web/json_views.h"
#include "web/request_pipeline.h"

namespace kstbell::fuzz {
namespace {

using namespace kstbell::web;

const TRouter& Router() {
    static const TRouter router(ApiRoutes({false, [] { return std::string("{}"); }}));
    return router;
}

std::vector<const TRoute*> BodyRoutes() {
    std::vector<const TRoute*> out;
    for (const auto& route : Router().Routes()) {
        if (route.Doc.Body) out.push_back(&route);
    }
    return out;
}

std::string Target(const TRoute& route) {
    std::string out = route.Path;
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"{address}", "127.0.78.1"},
          {"{name}", "evacuation"},
          {"{id}", "1"}}) {
        const auto at = out.find(name);
        if (at != std::string::npos) out.replace(at, name.size(), value);
    }
    return out;
}

}  // namespace
}  // namespace kstbell::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kstbell::fuzz;
    using namespace kstbell::web;
    if (size == 0) return 0;
    static const auto routes = BodyRoutes();
    const auto& route = *routes[data[0] % routes.size()];
    const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);

    test::TFakeWebService service;
    const TRequestPipeline pipeline(service, Router(), nullptr, 65536);
    const std::string target = Target(route);
    TRequestView request;
    request.Method = route.Method;
    request.Target = target;
    request.Authorization = {"Bearer " + service.TokenOf(TRole::Admin)};
    request.ContentType = {"application/json"};
    request.ContentLength = {std::to_string(body.size())};
    request.Client = "127.0.0.1";
    const auto reply = pipeline.Handle(
        request, [&](const TBodyReceiver& receiver) { return receiver(body.data(), body.size()); });

    const int status = reply.Response.Status;
    FUZZ_CHECK(reply.Route == &route);
    FUZZ_CHECK(!DumpJson(reply.Response.Json).empty());
    if (status >= 400) {
        FUZZ_CHECK(status == 400 || status == 404 || status == 409 || status == 413 ||
                   status == 401);
        FUZZ_CHECK(!reply.Response.Json["error"]["message"].get<std::string>().empty());
    } else if (!body.empty()) {
        // Taken: so it is one object whose keys all pass their route's checks.
        std::string error;
        const auto object = ParseJsonObject(body, error);
        FUZZ_CHECK(object.has_value());
        FUZZ_CHECK(!CheckObject(*object, *route.Doc.Body));
    }
    return 0;
}
