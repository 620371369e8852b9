#include "protocol/address_text.h"

#include <algorithm>

#include "protocol/convert.h"

namespace kstbell {

namespace {

constexpr std::size_t kMaxDottedQuadText = 255;

}  // namespace

std::string ParseDeviceAddress(const std::string& text) {
    std::array<std::string, 4> parts;
    std::string copy = text;
    std::size_t prefixEnd = text.size();
    int dots = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '.') parts[static_cast<std::size_t>(dots)] += text[i];
        if (dots == 3) {
            copy[i] = ' ';
            prefixEnd = std::min(prefixEnd, i);
        }
        if (copy[i] == '.') ++dots;
    }
    for (const auto& part : parts)
        StrToInt(part);  // throws for the first that is no integer
    return copy.substr(0, prefixEnd);
}

bool IsDottedQuad(const std::string& text) {
    if (text.size() > kMaxDottedQuadText) return false;
    if (std::count(text.begin(), text.end(), '.') != 3) return false;
    int octets = 0;
    int dots = 0;
    std::string digits;
    auto endOctet = [&] {
        if (digits.empty()) return false;
        try {
            if (StrToInt(digits) > 255) return false;
        } catch (const TConversionError&) {
            return false;
        }
        ++octets;
        digits.clear();
        return true;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            ++dots;
            if (!endOctet()) return false;
            continue;
        }
        if (c < '0' || c > '9') return false;
        digits += c;
        if (i + 1 == text.size() && dots == 3 && !endOctet()) return false;
    }
    return octets == 4;
}

std::array<std::uint8_t, 4> DottedQuadBytes(const std::string& text) {
    std::array<std::uint8_t, 4> bytes{};
    std::size_t part = 0;
    unsigned value = 0;
    for (char c : text) {
        if (c == '.') {
            bytes[part++] = static_cast<std::uint8_t>(value);
            value = 0;
        } else {
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
    }
    bytes[part] = static_cast<std::uint8_t>(value);
    return bytes;
}

}  // namespace kstbell
