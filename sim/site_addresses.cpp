#include "sim/site_addresses.h"

#include <stdexcept>

#include "sim/replies.h"

namespace kstbell::sim {

namespace {

std::uint32_t ToNumber(const TIpv4& address) {
    return std::uint32_t{address[0]} << 24 | std::uint32_t{address[1]} << 16 |
           std::uint32_t{address[2]} << 8 | address[3];
}

TIpv4 FromNumber(std::uint32_t number) {
    return {static_cast<std::uint8_t>(number >> 24), static_cast<std::uint8_t>(number >> 16),
            static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number)};
}

}  // namespace

std::optional<TIpv4> ParseIpv4(const std::string& text) {
    TIpv4 address{};
    std::size_t part = 0;
    std::size_t digits = 0;
    unsigned value = 0;
    for (const char c : text) {
        if (c == '.') {
            if (digits == 0 || part == 3) return std::nullopt;
            address[part++] = static_cast<std::uint8_t>(value);
            digits = 0;
            value = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(c - '0');
            if (value > 255) return std::nullopt;
            ++digits;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || part != 3) return std::nullopt;
    address[3] = static_cast<std::uint8_t>(value);
    return address;
}

std::string Ipv4Text(const TIpv4& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

std::vector<TIpv4> ConsecutiveAddresses(const TIpv4& first, std::size_t count) {
    if (count == 0) throw std::invalid_argument("a site needs at least one horn");
    std::vector<TIpv4> addresses{first};
    addresses.reserve(count);
    std::uint32_t number = ToNumber(first);
    while (addresses.size() < count) {
        if (number >= 0xFFFFFFFEu) {
            throw std::invalid_argument(std::to_string(count) + " addresses from " +
                                        Ipv4Text(first) + " run past 255.255.255.254");
        }
        ++number;
        const auto last = static_cast<std::uint8_t>(number);
        if (last != 0 && last != 255) addresses.push_back(FromNumber(number));
    }
    return addresses;
}

std::array<std::uint8_t, 6> HornMac(std::size_t index) {
    std::array<std::uint8_t, 6> mac = kSimMac;
    const std::uint32_t low = (std::uint32_t{mac[3]} << 16 | std::uint32_t{mac[4]} << 8 | mac[5]) +
                              static_cast<std::uint32_t>(index);
    mac[3] = static_cast<std::uint8_t>(low >> 16);
    mac[4] = static_cast<std::uint8_t>(low >> 8);
    mac[5] = static_cast<std::uint8_t>(low);
    return mac;
}

}  // namespace kstbell::sim
