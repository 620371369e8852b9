// The module's HTTP client of the site service: cpp-httplib, with OpenSSL for https://.

#include <httplib.h>

#include <cstdio>

#include "cli/service_module_parts.h"

namespace kstbell::cli {

namespace {

using namespace std::chrono;

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

nlohmann::ordered_json TransportError(const TServiceOptions& options, httplib::Error error,
                                      bool tooLong, milliseconds took) {
    const std::string at = "the service at " + options.Url.Name();
    if (tooLong)
        return Error("socket_error", at + " sent an answer longer than " +
                                         std::to_string(options.MaxAnswerBytes >> 20U) +
                                         " MiB; it was not read to its end");
    switch (error) {
        case httplib::Error::Connection:
            return Error("unreachable", "no connection to " + at +
                                            ": is kstbelld running with its [http] front "
                                            "there?");
        case httplib::Error::ConnectionTimeout:
            return Error("unreachable",
                         "no connection to " + at + " within " + Seconds(options.ConnectTimeout));
        case httplib::Error::Read:
            if (took + milliseconds(50) >= options.AnswerTimeout)
                return Error("no_reply",
                             at + " did not answer within " + Seconds(options.AnswerTimeout));
            return Error("socket_error", at + " closed the connection without an answer");
        case httplib::Error::Write:
            return Error("socket_error", "the connection to " + at + " broke");
        case httplib::Error::SSLConnection:
            return Error("socket_error", "no TLS connection with " + at + ": does it speak https?");
        case httplib::Error::SSLLoadingCerts:
            return Error("invalid_input",
                         "the certificates to trust cannot be read" +
                             (options.CaFile.empty() ? std::string(" from the system")
                                                     : " from " + options.CaFile));
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

}  // namespace

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

TServiceAnswer SendToService(const TServiceOptions& options, const TServiceRequest& asked,
                             std::string_view action) {
    httplib::Request request;
    request.method = asked.Method;
    request.path = asked.Path;
    request.body = asked.Body;
    if (!asked.ContentType.empty()) request.headers.emplace("Content-Type", asked.ContentType);
    TServiceAnswer answer;
    httplib::Client client(options.Url.Origin());
    client.set_url_encode(false);
    client.set_follow_location(false);
    client.set_keep_alive(false);
    client.set_connection_timeout(options.ConnectTimeout);
    client.set_read_timeout(options.AnswerTimeout);
    client.set_write_timeout(options.AnswerTimeout);
    client.set_bearer_token_auth(options.Token);
    if (options.Url.Tls()) {
        client.enable_server_certificate_verification(true);
        if (!options.CaFile.empty()) client.set_ca_cert_path(options.CaFile);
    }
    request.headers.emplace("Accept", "application/json");
    std::string received;
    bool tooLong = false;
    request.content_receiver = [&](const char* data, std::size_t length, std::uint64_t,
                                   std::uint64_t) {
        if (received.size() + length > options.MaxAnswerBytes) {
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
        answer.Error = TransportError(options, error, tooLong, took);
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
        answer.Error =
            ApiError(response.status, received, response.get_header_value("Retry-After"), action);
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

}  // namespace kstbell::cli
