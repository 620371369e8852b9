#pragma once

// The HTTP front on a free loopback port over the fake service, with a folder of page files
// (and a file beside it that no request may reach), a client on top, and a raw socket for
// requests no well-behaved client sends.

#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/web/fake_web_service.h"
#include "web/http_front.h"

namespace kstbell::web::test {

struct TAnswer {
    int Status = 0;  // 0: no answer
    std::string Body;
    httplib::Headers Headers;

    nlohmann::json Json() const;
    std::string Header(const std::string& name) const;
    // The error's kind, or "".
    std::string Kind() const;
};

struct TLoggedIn {
    std::string Cookie;
    std::string Csrf;
};

class TWebFixture {
  public:
    explicit TWebFixture(THttpConfig config = {},
                         std::chrono::milliseconds heartbeat = std::chrono::seconds(15),
                         std::size_t streamQueue = 256,
                         const std::function<void(TWebFrontOptions&)>& tune = {});
    ~TWebFixture();

    TFakeWebService Service;

    TWebFront& Front() { return *front_; }
    std::uint16_t Port() const { return front_->Port(); }
    const std::filesystem::path& Dir() const { return dir_; }
    std::vector<std::string> LogLines() const;

    TAnswer Call(const std::string& method, const std::string& target,
                 const httplib::Headers& headers = {}, const std::string& body = {});
    TAnswer WithToken(TRole role, const std::string& method, const std::string& target,
                      const std::string& body = {});
    TLoggedIn Login(const std::string& user, const std::string& password);

    // Sends bytes as they are and reads until the server closes (closed) or wait passes.
    std::string Raw(const std::string& bytes,
                    std::chrono::milliseconds wait = std::chrono::seconds(3),
                    bool* closed = nullptr) const;
    // The same from another loopback address (127.0.0.x).
    std::string RawFrom(const std::string& source, const std::string& bytes,
                        std::chrono::milliseconds wait = std::chrono::seconds(3),
                        bool* closed = nullptr) const;

  private:
    std::filesystem::path dir_;
    mutable std::mutex logMutex_;
    std::vector<std::string> log_;
    std::unique_ptr<TWebFront> front_;
};

// A port nothing listens on, a request's first line as the server answered it.
int RawStatus(const std::string& response);
// A socket connected to the port from the source address (127.0.0.x); -1 when it cannot.
int ConnectFrom(const std::string& source, std::uint16_t port);

}  // namespace kstbell::web::test
