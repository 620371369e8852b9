#include "platform/lock_file_name.h"

#include "protocol/ipv4_text.h"

namespace kstbell {

namespace {

constexpr std::size_t kMaxAddressPart = 200;

bool Kept(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
           c == ':' || c == '-';
}

}  // namespace

std::string LockFileName(const std::string& address, std::uint16_t port) {
    std::string part;
    if (const auto canonical = CanonicalIpv4Text(address)) {
        part = *canonical;
    } else {
        for (char c : address.substr(0, kMaxAddressPart))
            part += Kept(c) ? c : '_';
    }
    return part + "-" + std::to_string(port) + ".lock";
}

}  // namespace kstbell
