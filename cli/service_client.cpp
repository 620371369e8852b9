#include "cli/service_client.h"

#include <cctype>

#include "cli/service_module.h"

namespace kstbell::cli {

namespace {

constexpr const char* kApi = "/api/v1";

}  // namespace

std::string PercentEncode(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4U];
            out += kHex[byte & 0xFU];
        }
    }
    return out;
}

TServiceClient::TServiceClient(TServiceOptions options, const TServiceModule& module)
    : options_(std::move(options)), module_(module) {}

TServiceAnswer TServiceClient::Get(const std::string& path, const TQuery& query,
                                   std::string_view action) {
    TServiceRequest request;
    request.Method = "GET";
    request.Path = options_.Url.BasePath + kApi + path;
    for (std::size_t i = 0; i < query.size(); ++i)
        request.Path += (i == 0 ? "?" : "&") + PercentEncode(query[i].first) + "=" +
                        PercentEncode(query[i].second);
    return module_.Send(options_, request, action);
}

TServiceAnswer TServiceClient::Post(const std::string& path, const nlohmann::json& body,
                                    std::string_view action) {
    TServiceRequest request;
    request.Method = "POST";
    request.Path = options_.Url.BasePath + kApi + path;
    request.Body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    request.ContentType = "application/json";
    return module_.Send(options_, request, action);
}

std::string TServiceClient::Name() const {
    return options_.Url.Name();
}

}  // namespace kstbell::cli
