#include "web/host_check.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "text/control.h"
#include "text/host_port.h"

namespace kstbell::web {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (auto& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// The host's address in a canonical text, or "" when it is no IP literal.
std::string CanonicalAddress(std::string_view host) {
    const std::string text(host);
    unsigned char bytes[16];
    char out[INET6_ADDRSTRLEN] = {};
    if (::inet_pton(AF_INET, text.c_str(), bytes) == 1) {
        ::inet_ntop(AF_INET, bytes, out, sizeof out);
        return out;
    }
    if (::inet_pton(AF_INET6, text.c_str(), bytes) == 1) {
        // An IPv4 client of an IPv6 socket: its IPv4 address.
        static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::memcmp(bytes, kMapped, sizeof kMapped) == 0) {
            ::inet_ntop(AF_INET, bytes + 12, out, sizeof out);
        } else {
            ::inet_ntop(AF_INET6, bytes, out, sizeof out);
        }
        return out;
    }
    return {};
}

bool Loopback(const std::string& address) {
    return address == "::1" || address.rfind("127.", 0) == 0;
}

// Fit to be quoted in an answer: printable, short.
std::string Quoted(std::string_view text) {
    std::string out(text.substr(0, 100));
    for (auto& c : out) {
        if (!text::IsPrintableAscii(static_cast<unsigned char>(c))) c = '?';
    }
    return "'" + out + (text.size() > 100 ? "...'" : "'");
}

}  // namespace

THostCheck::THostCheck(std::vector<std::string> names, bool tls) : tls_(tls) {
    for (auto& name : names) {
        auto lower = Lower(name);
        if (!lower.empty() && lower.back() == '.') lower.pop_back();
        names_.push_back(std::move(lower));
    }
}

std::string THostCheck::Refusal(const std::vector<std::string>& hosts, std::string_view version,
                                std::string_view localAddress, int localPort, bool& missing) const {
    missing = false;
    if (hosts.empty()) {
        if (version == "HTTP/1.0") return {};
        missing = true;
        return "the request has no Host header";
    }
    if (hosts.size() > 1) {
        missing = true;
        return "the request has more than one Host header";
    }
    const std::string_view value = hosts.front();
    const text::THostPort split = text::SplitHostPort(value);
    if (split.Fault != text::EHostPortFault::None)
        return "the Host " + Quoted(value) + " cannot be read";
    const std::string_view host = split.Host;
    // "name:" is the default port, as no port is.
    const std::string_view port = split.Port;
    auto name = Lower(host);
    if (!name.empty() && name.back() == '.') name.pop_back();
    if (std::find(names_.begin(), names_.end(), name) != names_.end()) return {};

    const auto local = CanonicalAddress(localAddress);
    const auto address = CanonicalAddress(name);
    const bool ours = (!address.empty() && address == local) ||
                      (Loopback(local) && (name == "localhost" || Loopback(address)));
    if (!ours) {
        return "this service does not answer to the host " + Quoted(value) +
               " (it answers to its address, and to the names in [http] names)";
    }
    int asked = tls_ ? 443 : 80;
    if (!port.empty()) {
        const auto number = text::ParsePort(port, 0);
        asked = number ? *number : -1;
    }
    if (asked != localPort) {
        return "the Host " + Quoted(value) + " names another port than this service's (" +
               std::to_string(localPort) + ")";
    }
    return {};
}

bool ValidHostName(std::string_view name, std::string& error) {
    if (name.empty() || name.size() > 253) {
        error = "a host name is 1 to 253 characters long";
        return false;
    }
    std::size_t label = 0;
    for (const char c : name) {
        if (c == '.') {
            if (label == 0) {
                error = "'" + std::string(name) + "' has an empty label";
                return false;
            }
            label = 0;
            continue;
        }
        const bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok) {
            error = "'" + std::string(name) +
                    "' is not a host name (letters, digits, '-' and '.'; no port, no address in "
                    "brackets)";
            return false;
        }
        if (++label > 63) {
            error = "'" + std::string(name) + "' has a label longer than 63 characters";
            return false;
        }
    }
    return true;
}

}  // namespace kstbell::web
