#include "cli/service_setup.h"

#include <filesystem>

#include "cli/report.h"
#include "cli/token_file.h"

namespace kstbell::cli {

namespace {

// How long the service may take to answer when --timeout is not given: a ring's answer comes
// once it is recorded, which a busy database may delay for a while.
constexpr std::chrono::milliseconds kDefaultAnswerWait{15000};

}  // namespace

bool CheckServiceOptions(const TGlobalOptions& g, const TVerbInfo& verb, std::string& error) {
    const std::string name(verb.Name);
    if (verb.Target != TVerbTarget::Service) {
        const char* given = !g.Service.empty()     ? "--service"
                            : !g.TokenFile.empty() ? "--token-file"
                            : !g.ServiceCa.empty() ? "--service-ca"
                                                   : nullptr;
        if (!given) return true;
        error = name + " works on horns, not through the site service: leave out " + given;
        if (name == "site log") error += " (log asks the service for its audit log)";
        return false;
    }
    if (g.Service.empty()) {
        error = name +
                " asks the site service: give its address with --service URL (e.g. "
                "http://127.0.0.1:8786) and an API token with --token-file FILE";
        return false;
    }
    if (g.TokenFile.empty()) {
        error = name +
                " needs an API token: --token-file FILE (make one with 'kstbelld token create "
                "NAME --user USER')";
        return false;
    }
    const char* deviceOption = !g.Devices.empty()      ? "-d"
                               : !g.DeviceFile.empty() ? "--devices"
                               : g.Simulate            ? "--simulate"
                               : g.CheckWifi           ? "--check-wifi"
                               : g.PortGiven ? "--port (the service's port goes into its URL)"
                                             : nullptr;
    if (deviceOption) {
        error = name + " asks the site service, which reaches the horns itself: leave out " +
                deviceOption;
        return false;
    }
    return true;
}

std::unique_ptr<TServiceClient> MakeServiceClient(const TGlobalOptions& g,
                                                  const TServiceModule& module, TReport& report,
                                                  std::string& error) {
    TServiceOptions options;
    const auto url = ParseServiceUrl(g.Service, error);
    if (!url) return nullptr;
    options.Url = *url;
    if (!g.ServiceCa.empty()) {
        if (!options.Url.Tls()) {
            error = "--service-ca is for an https:// service";
            return nullptr;
        }
        std::error_code ec;
        if (!std::filesystem::is_regular_file(g.ServiceCa, ec)) {
            error = "--service-ca " + g.ServiceCa + ": no such file";
            return nullptr;
        }
        options.CaFile = g.ServiceCa;
    }
    TTokenFile token;
    if (!ReadTokenFile(g.TokenFile, token, error)) return nullptr;
    if (!token.Warning.empty()) report.Error("warning: " + token.Warning);
    if (!options.Url.Tls() && !options.Url.Loopback())
        report.Error("warning: the token travels unencrypted to " + options.Url.Host +
                     ": give the service a certificate and use https://");
    options.Token = token.Token;
    options.ConnectTimeout = std::chrono::milliseconds(g.TimeoutMs);
    options.AnswerTimeout =
        g.TimeoutGiven ? std::chrono::milliseconds(g.TimeoutMs) : kDefaultAnswerWait;
    return std::make_unique<TServiceClient>(std::move(options), module);
}

}  // namespace kstbell::cli
