#include "cli/service_client.h"

#include <httplib.h>

#include <cstdio>

namespace kstbell::cli {

namespace {

using namespace std::chrono;

constexpr const char* kApi = "/api/v1";

std::string Seconds(milliseconds span) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000.0);
    return text;
}

// The kind of an error answer that carries no API error: from its status alone.
std::string KindOfStatus(int status) {
    switch (status) {
        case 400:
            return "invalid_input";
        case 401:
            return "unauthenticated";
        case 403:
            return "forbidden";
        case 404:
            return "not_found";
        case 409:
            return "conflict";
        case 413:
            return "too_large";
        case 429:
            return "rate_limited";
        case 502:
            return "unreachable";
        case 503:
            return "busy";
        case 504:
            return "no_reply";
        default:
            return status >= 500 ? "internal" : "refused";
    }
}

nlohmann::ordered_json Error(const std::string& kind, const std::string& message) {
    return {{"kind", kind}, {"message", message}};
}

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

nlohmann::ordered_json ApiError(int status, const std::string& body, const std::string& retryAfter,
                                std::string_view action) {
    const auto parsed = nlohmann::json::parse(body, nullptr, false);
    std::string kind = KindOfStatus(status);
    std::string said;
    if (parsed.is_object() && parsed.contains("error") && parsed["error"].is_object()) {
        const auto& e = parsed["error"];
        if (e.contains("kind") && e["kind"].is_string()) kind = e["kind"].get<std::string>();
        if (e.contains("message") && e["message"].is_string())
            said = e["message"].get<std::string>();
    }
    std::string message;
    if (kind == "unauthenticated") {
        message = "the token was refused";
        if (!said.empty()) message += " (" + said + ")";
        message +=
            ": it may be revoked, its user disabled, or the file may hold another service's; "
            "make one with 'kstbelld token create NAME --user USER' and give its file with "
            "--token-file";
    } else if (kind == "forbidden") {
        message = "the token's role may not " + std::string(action);
        if (!said.empty()) message += " (" + said + ")";
        message += ": use a token of a user with a role that may (operator or admin)";
    } else if (kind == "rate_limited") {
        message = said.empty() ? "the service asks to wait" : said;
        if (!retryAfter.empty()) message += "; try again in " + retryAfter + " s";
    } else if (kind == "starting") {
        message = "the service is still starting: try again in a moment";
    } else if (!said.empty()) {
        message = said;
    } else {
        message = "the service answered " + std::to_string(status) +
                  " without saying why: is --service the address of kstbelld's HTTP front?";
    }
    nlohmann::ordered_json error = Error(kind, message);
    error["status"] = status;
    return error;
}

struct TServiceClient::TImpl {
    TServiceOptions Options;

    TServiceAnswer Send(httplib::Request request, std::string_view action) {
        TServiceAnswer answer;
        httplib::Client client(Options.Url.Origin());
        client.set_url_encode(false);
        client.set_follow_location(false);
        client.set_keep_alive(false);
        client.set_connection_timeout(Options.ConnectTimeout);
        client.set_read_timeout(Options.AnswerTimeout);
        client.set_write_timeout(Options.AnswerTimeout);
        client.set_bearer_token_auth(Options.Token);
        if (Options.Url.Tls()) {
            client.enable_server_certificate_verification(true);
            if (!Options.CaFile.empty()) client.set_ca_cert_path(Options.CaFile);
        }
        request.headers.emplace("Accept", "application/json");
        std::string received;
        bool tooLong = false;
        request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t,
                                       std::uint64_t) {
            if (received.size() + length > Options.MaxAnswerBytes) {
                tooLong = true;
                return false;
            }
            received.append(data, length);
            return true;
        };
        httplib::Response response;
        httplib::Error error = httplib::Error::Success;
        const auto started = steady_clock::now();
        const bool sent = client.send(request, response, error);
        const auto took = duration_cast<milliseconds>(steady_clock::now() - started);
        if (!sent || tooLong) {
            answer.Error = TransportError(error, tooLong, took);
            // A change sent but not answered may have been made all the same.
            if (request.method != "GET" && !tooLong && error == httplib::Error::Read)
                answer.Error["message"] = answer.Error["message"].get<std::string>() +
                                          "; what was asked may have been done all the same: "
                                          "see log";
            return answer;
        }
        if (received.empty()) received = std::move(response.body);
        answer.Status = response.status;
        if (response.status < 200 || response.status > 299) {
            answer.Error = ApiError(response.status, received,
                                    response.get_header_value("Retry-After"), action);
            // What the error came with (a ring none of whose horns switched on: the ring).
            answer.Body = nlohmann::ordered_json::parse(received, nullptr, false);
            if (answer.Body.is_discarded()) answer.Body = nlohmann::ordered_json();
            return answer;
        }
        answer.Body = nlohmann::ordered_json::parse(received, nullptr, false);
        if (answer.Body.is_discarded()) {
            answer.Error =
                Error("internal", "the service's answer (" + std::to_string(response.status) +
                                      ") is not JSON: is --service the address of "
                                      "kstbelld's HTTP front?");
            answer.Error["status"] = response.status;
            return answer;
        }
        answer.Ok = true;
        return answer;
    }

    nlohmann::ordered_json TransportError(httplib::Error error, bool tooLong, milliseconds took) {
        const std::string at = "the service at " + Name();
        if (tooLong)
            return Error("socket_error", at + " sent an answer longer than " +
                                             std::to_string(Options.MaxAnswerBytes >> 20U) +
                                             " MiB; it was not read to its end");
        switch (error) {
            case httplib::Error::Connection:
                return Error("unreachable", "no connection to " + at +
                                                ": is kstbelld running with its [http] front "
                                                "there?");
            case httplib::Error::ConnectionTimeout:
                return Error("unreachable", "no connection to " + at + " within " +
                                                Seconds(Options.ConnectTimeout));
            case httplib::Error::Read:
                if (took + milliseconds(50) >= Options.AnswerTimeout)
                    return Error("no_reply",
                                 at + " did not answer within " + Seconds(Options.AnswerTimeout));
                return Error("socket_error", at + " closed the connection without an answer");
            case httplib::Error::Write:
                return Error("socket_error", "the connection to " + at + " broke");
            case httplib::Error::SSLConnection:
                return Error("socket_error",
                             "no TLS connection with " + at + ": does it speak https?");
            case httplib::Error::SSLLoadingCerts:
                return Error("invalid_input",
                             "the certificates to trust cannot be read" +
                                 (Options.CaFile.empty() ? std::string(" from the system")
                                                         : " from " + Options.CaFile));
            case httplib::Error::SSLServerVerification:
                return Error("socket_error",
                             "the certificate of " + at +
                                 " is not trusted or not made out to its host: give the "
                                 "certificate that signed it with --service-ca FILE");
            default:
                return Error("socket_error",
                             "the request to " + at + " failed: " + httplib::to_string(error));
        }
    }

    std::string Name() const {
        return Options.Url.Scheme + "://" + Options.Url.Host + ":" +
               std::to_string(Options.Url.Port) + Options.Url.BasePath;
    }
};

TServiceClient::TServiceClient(TServiceOptions options) : impl_(std::make_unique<TImpl>()) {
    impl_->Options = std::move(options);
}

TServiceClient::~TServiceClient() = default;

TServiceAnswer TServiceClient::Get(const std::string& path, const TQuery& query,
                                   std::string_view action) {
    httplib::Request request;
    request.method = "GET";
    request.path = impl_->Options.Url.BasePath + kApi + path;
    for (std::size_t i = 0; i < query.size(); ++i)
        request.path += (i == 0 ? "?" : "&") + PercentEncode(query[i].first) + "=" +
                        PercentEncode(query[i].second);
    return impl_->Send(std::move(request), action);
}

TServiceAnswer TServiceClient::Post(const std::string& path, const nlohmann::json& body,
                                    std::string_view action) {
    httplib::Request request;
    request.method = "POST";
    request.path = impl_->Options.Url.BasePath + kApi + path;
    request.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    request.headers.emplace("Content-Type", "application/json");
    return impl_->Send(std::move(request), action);
}

std::string TServiceClient::Name() const {
    return impl_->Name();
}

}  // namespace kstbell::cli
