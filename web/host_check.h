#pragma once

// Whether a request's Host header names this front, so that a page of another site whose name
// was pointed at this address (DNS rebinding) reaches nothing here. A Host passes when it is:
// a name of [http] names (any port: a proxy in front may forward its own); the address the
// client connected to; or, on a loopback connection, "localhost" or a loopback address. The
// last two with the port the connection came to, or none when that is the scheme's default.

#include <string>
#include <string_view>
#include <vector>

namespace kstbell::web {

class THostCheck {
  public:
    THostCheck(std::vector<std::string> names, bool tls);

    // Empty when the request may go on; otherwise why not. missing: a HTTP/1.1 request with no
    // Host (400); any other refusal is answered 421.
    std::string Refusal(const std::vector<std::string>& hosts, std::string_view version,
                        std::string_view localAddress, int localPort, bool& missing) const;

  private:
    std::vector<std::string> names_;  // lower case, no trailing dot
    bool tls_;
};

// A host name for [http] names: letters, digits, '-' and '.', labels of 1 to 63 characters,
// 253 at most; no address, no port. Why not in error.
bool ValidHostName(std::string_view name, std::string& error);

}  // namespace kstbell::web
