#include "tests/web/web_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>

namespace kstbell::web::test {

nlohmann::json TAnswer::Json() const {
    return nlohmann::json::parse(Body, nullptr, false);
}

std::string TAnswer::Header(const std::string& name) const {
    const auto it = Headers.find(name);
    return it == Headers.end() ? std::string() : it->second;
}

std::string TAnswer::Kind() const {
    const auto json = Json();
    if (!json.is_object() || !json.contains("error")) return {};
    return json["error"].value("kind", std::string());
}

TWebFixture::TWebFixture(THttpConfig config, std::chrono::milliseconds heartbeat,
                         std::size_t streamQueue,
                         const std::function<void(TWebFrontOptions&)>& tune) {
    char pattern[] = "/tmp/kstbell-web-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    const auto pages = dir_ / "page";
    std::filesystem::create_directories(pages / "img");
    std::ofstream(pages / "index.html") << "<!doctype html><title>kstbell</title>";
    std::ofstream(pages / "app.js") << "export const ok = true;\n";
    std::ofstream(pages / "img" / "lamp.svg") << "<svg/>";
    std::ofstream(pages / ".hidden") << "hidden";
    std::ofstream(dir_ / "secret.txt") << "outside the page folder";
    std::filesystem::create_symlink(dir_ / "secret.txt", pages / "link.txt");
    std::filesystem::create_directory_symlink(dir_, pages / "up");

    config.Listen = {"127.0.0.1", 0};
    // The raw requests of the tests name the host "x".
    config.Names.push_back("x");
    TWebFrontOptions options;
    options.Config = config;
    options.PageDir = pages;
    options.Version = "1.0.0-test";
    options.Workers = 8;
    options.Heartbeat = heartbeat;
    options.StreamQueueFrames = streamQueue;
    options.Log = [this](const std::string& line) {
        std::lock_guard lock(logMutex_);
        log_.push_back(line);
    };
    if (tune) tune(options);
    front_ = std::make_unique<TWebFront>(Service, options);
    std::string error;
    if (!front_->Start(error)) throw std::runtime_error("the front did not start: " + error);
}

TWebFixture::~TWebFixture() {
    front_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::vector<std::string> TWebFixture::LogLines() const {
    std::lock_guard lock(logMutex_);
    return log_;
}

TAnswer TWebFixture::Call(const std::string& method, const std::string& target,
                          const httplib::Headers& headers, const std::string& body) {
    httplib::Client client("127.0.0.1", Port());
    client.set_url_encode(false);
    client.set_read_timeout(5, 0);
    httplib::Request request;
    request.method = method;
    request.path = target;
    request.headers = headers;
    request.body = body;
    if (!body.empty() && !request.has_header("Content-Type")) {
        request.headers.emplace("Content-Type", "application/json");
    }
    const auto result = client.send(request);
    if (!result) return {};
    return {result->status, result->body, result->headers};
}

TAnswer TWebFixture::WithToken(TRole role, const std::string& method, const std::string& target,
                               const std::string& body) {
    return Call(method, target, {{"Authorization", "Bearer " + Service.TokenOf(role)}}, body);
}

TLoggedIn TWebFixture::Login(const std::string& user, const std::string& password) {
    const nlohmann::json body = {{"user", user}, {"password", password}};
    const auto answer = Call("POST", "/api/v1/session", {}, body.dump());
    const auto cookie = answer.Header("Set-Cookie");
    const auto end = cookie.find(';');
    return {cookie.substr(0, end), answer.Json().value("csrf", std::string())};
}

std::string TWebFixture::Raw(const std::string& bytes, std::chrono::milliseconds wait,
                             bool* closed) const {
    return RawFrom("127.0.0.1", bytes, wait, closed);
}

int ConnectFrom(const std::string& source, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    ::inet_pton(AF_INET, source.c_str(), &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string TWebFixture::RawFrom(const std::string& source, const std::string& bytes,
                                 std::chrono::milliseconds wait, bool* closed) const {
    if (closed) *closed = false;
    const int fd = ConnectFrom(source, Port());
    std::string out;
    if (fd >= 0) {
        (void)::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        const auto until = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buffer[4096];
            const auto n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (closed) *closed = true;
                break;
            }
            out.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
    }
    return out;
}

int RawStatus(const std::string& response) {
    if (response.rfind("HTTP/1.1 ", 0) != 0 || response.size() < 12) return 0;
    return std::stoi(response.substr(9, 3));
}

}  // namespace kstbell::web::test
