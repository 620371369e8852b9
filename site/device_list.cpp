#include "site/device_list.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "protocol/ipv4_text.h"
#include "text/control.h"

namespace kstbell::site {

namespace {

std::string Dotted(std::uint32_t a) {
    return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
           std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The text as given, quoted, for a message: bytes that are not printable ASCII as \xNN, and
// no more than a line's worth.
std::string Quoted(const std::string& text) {
    constexpr std::size_t kMostShown = 64;
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < kMostShown; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!text::IsPrintableAscii(byte) || byte == '\\') {
            constexpr const char* kDigits = "0123456789abcdef";
            out += std::string("\\x") + kDigits[byte >> 4] + kDigits[byte & 0x0F];
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out + (text.size() > kMostShown ? "...\"" : "\"");
}

bool TooMany(const std::string& text, std::size_t now, std::uint64_t more,
             const TDeviceLimit& limit, std::string& error) {
    if (now + more <= limit.Max) return false;
    error = Quoted(text) + " makes more than " + std::to_string(limit.Max) + " devices" +
            (limit.HowToRaise.empty() ? "" : "; " + limit.HowToRaise);
    return true;
}

}  // namespace

bool ExpandTarget(const std::string& text, std::vector<std::string>& into, std::string& error,
                  const TDeviceLimit& limit) {
    const auto slash = text.find('/');
    const std::string address = text.substr(0, slash);
    const auto canonical = CanonicalIpv4Text(address);
    if (!canonical) {
        error = Quoted(text) + " is not an IPv4 address or range";
        return false;
    }
    if (slash == std::string::npos) {
        if (TooMany(text, into.size(), 1, limit, error)) return false;
        into.push_back(*canonical);
        return true;
    }
    const std::string bitsText = text.substr(slash + 1);
    int bits = -1;
    if (!bitsText.empty() && bitsText.size() <= 2 &&
        bitsText.find_first_not_of("0123456789") == std::string::npos)
        bits = std::stoi(bitsText);
    if (bits < 0 || bits > 32) {
        error = Quoted(text) + " has no prefix length from 0 to 32";
        return false;
    }
    const std::uint64_t size = std::uint64_t{1} << (32 - bits);
    if (size > kMaxRangeAddresses) {
        error =
            Quoted(text) + " names more than " + std::to_string(kMaxRangeAddresses) + " addresses";
        return false;
    }
    if (TooMany(text, into.size(), bits <= 30 ? size - 2 : size, limit, error)) return false;
    const std::uint32_t base = *ParseIpv4Text(*canonical) & ~static_cast<std::uint32_t>(size - 1);
    std::uint64_t first = 0;
    std::uint64_t last = size - 1;
    if (bits <= 30) {
        first = 1;        // not the network's own address
        last = size - 2;  // nor its broadcast address
    }
    for (std::uint64_t i = first; i <= last; ++i)
        into.push_back(Dotted(base + static_cast<std::uint32_t>(i)));
    return true;
}

bool ReadDeviceFile(const std::string& path, std::vector<std::string>& into, std::string& error,
                    const TDeviceLimit& limit) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "the device list " + path + " is a folder, not a file";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the device list " + path;
        return false;
    }
    // Read whole but bounded: a pipe or a device such as /dev/zero may have no end.
    std::string text(kMaxDeviceFileBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad()) {
        error = "cannot read the device list " + path;
        return false;
    }
    if (text.size() > kMaxDeviceFileBytes) {
        error = "the device list " + path + " is larger than " +
                std::to_string(kMaxDeviceFileBytes / (1024 * 1024)) + " MiB";
        return false;
    }
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        const std::string entry = Trim(line.substr(0, line.find('#')));
        if (entry.empty()) continue;
        if (!ExpandTarget(entry, into, error, limit)) {
            error = path + ":" + std::to_string(number) + ": " + error;
            return false;
        }
    }
    return true;
}

void RemoveRepeats(std::vector<std::string>& addresses) {
    std::unordered_set<std::string> seen;
    std::vector<std::string> kept;
    kept.reserve(addresses.size());
    for (auto& a : addresses)
        if (seen.insert(a).second) kept.push_back(std::move(a));
    addresses = std::move(kept);
}

}  // namespace kstbell::site
