// HTTPS with a certificate and key made by openssl for the test: the front speaks TLS only,
// its cookie is Secure, it asks browsers to stay on HTTPS; a certificate it cannot use or an
// address it cannot have stops the start with the reason.

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/web/web_fixture.h"

namespace kstbell::web::test {
namespace {

struct TCertificate {
    std::filesystem::path Dir;
    std::string Cert;
    std::string Key;

    TCertificate() {
        char pattern[] = "/tmp/kstbell-tls-XXXXXX";
        Dir = ::mkdtemp(pattern);
        Cert = (Dir / "tls.pem").string();
        Key = (Dir / "tls.key").string();
        const std::string command = std::string(KSTBELL_OPENSSL) +
                                    " req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
                                    " -addext subjectAltName=IP:127.0.0.1 -keyout " +
                                    Key + " -out " + Cert + " >/dev/null 2>&1";
        Made = std::system(command.c_str()) == 0;
    }
    ~TCertificate() { std::filesystem::remove_all(Dir); }
    bool Made = false;
};

TEST(WebTls, WithACertificateTheFrontSpeaksHttpsOnly) {
    TCertificate tls;
    ASSERT_TRUE(tls.Made);
    THttpConfig config;
    config.TlsCert = tls.Cert;
    config.TlsKey = tls.Key;
    TWebFixture web(config);
    EXPECT_EQ(web.Front().Url(), "https://127.0.0.1:" + std::to_string(web.Port()) + "/");

    httplib::SSLClient client("127.0.0.1", web.Port());
    client.set_ca_cert_path(tls.Cert.c_str());
    client.enable_server_certificate_verification(true);
    const auto login = client.Post(
        "/api/v1/session", nlohmann::json{{"user", "vic"}, {"password", kViewerPassword}}.dump(),
        "application/json");
    ASSERT_TRUE(login) << httplib::to_string(login.error());
    EXPECT_EQ(login->status, 200);
    const auto cookie = login->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("; Secure"), std::string::npos) << cookie;
    EXPECT_EQ(login->get_header_value("Strict-Transport-Security"), "max-age=31536000");
    const auto horns =
        client.Get("/api/v1/horns", {{"Cookie", cookie.substr(0, cookie.find(';'))}});
    ASSERT_TRUE(horns);
    EXPECT_EQ(horns->status, 200);

    // Plain HTTP gets no answer; a client that does not trust the certificate refuses it.
    EXPECT_EQ(web.Call("GET", "/").Status, 0);
    httplib::SSLClient stranger("127.0.0.1", web.Port());
    stranger.enable_server_certificate_verification(true);
    stranger.set_ca_cert_path("/nonexistent-ca.pem");
    EXPECT_FALSE(stranger.Get("/"));
}

TEST(WebTls, AStartThatCannotWorkSaysWhy) {
    TFakeWebService service;
    TCertificate tls;
    ASSERT_TRUE(tls.Made);
    const std::vector<std::pair<THttpConfig, std::string>> cases = {
        {{.TlsCert = "/nonexistent/tls.pem", .TlsKey = tls.Key}, "cannot use the TLS certificate"},
        {{.TlsCert = tls.Key, .TlsKey = tls.Cert}, "cannot use the TLS certificate"},
        {{.Listen = {"192.0.2.1", 8786}}, "cannot listen on 192.0.2.1:8786"},
    };
    for (const auto& [config, reason] : cases) {
        TWebFrontOptions options;
        options.Config = config;
        TWebFront front(service, options);
        std::string error;
        EXPECT_FALSE(front.Start(error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_FALSE(service.Subscribed());
    }
    // A port another front holds.
    TWebFixture first;
    TWebFrontOptions options;
    options.Config.Listen = {"127.0.0.1", first.Port()};
    TWebFront second(service, options);
    std::string error;
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(first.Port())),
              std::string::npos)
        << error;
}

}  // namespace
}  // namespace kstbell::web::test
