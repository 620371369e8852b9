#include "site/device_list.h"

#include <fstream>
#include <unordered_set>

#include "protocol/ipv4_text.h"

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

}  // namespace

bool ExpandTarget(const std::string& text, std::vector<std::string>& into, std::string& error) {
    const auto slash = text.find('/');
    const std::string address = text.substr(0, slash);
    const auto canonical = CanonicalIpv4Text(address);
    if (!canonical) {
        error = "\"" + text + "\" is not an IPv4 address or range";
        return false;
    }
    if (slash == std::string::npos) {
        into.push_back(*canonical);
        return true;
    }
    const std::string bitsText = text.substr(slash + 1);
    int bits = -1;
    if (!bitsText.empty() && bitsText.size() <= 2 &&
        bitsText.find_first_not_of("0123456789") == std::string::npos)
        bits = std::stoi(bitsText);
    if (bits < 0 || bits > 32) {
        error = "\"" + text + "\" has no prefix length from 0 to 32";
        return false;
    }
    const std::uint64_t size = std::uint64_t{1} << (32 - bits);
    if (size > kMaxRangeAddresses) {
        error =
            "\"" + text + "\" names more than " + std::to_string(kMaxRangeAddresses) + " addresses";
        return false;
    }
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

bool ReadDeviceFile(const std::string& path, std::vector<std::string>& into, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read the device list " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        const std::string entry = Trim(line.substr(0, line.find('#')));
        if (entry.empty()) continue;
        if (!ExpandTarget(entry, into, error)) {
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
