#include "users/login_throttle.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

namespace kstbell::users {

namespace chr = std::chrono;

namespace {

// Failures kept beyond the free ones: by then the delay is long past its cap.
constexpr int kKeptBeyondFree = 16;

std::string NameKey(std::string_view name) {
    std::string key = "name:";
    for (const char c : name)
        key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return key;
}

chr::seconds CeilSeconds(store::TUtcTime::duration wait) {
    if (wait <= store::TUtcTime::duration::zero()) return chr::seconds(0);
    return chr::ceil<chr::seconds>(wait);
}

}  // namespace

std::string AddressKey(std::string_view address) {
    std::string text(address);
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    if (const auto zone = text.find('%'); zone != std::string::npos) text.resize(zone);
    unsigned char bytes[16];
    if (inet_pton(AF_INET6, text.c_str(), bytes) != 1) return "address:" + std::string(address);
    const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    char key[64];
    if (std::equal(mapped, mapped + 12, bytes)) {
        std::snprintf(key, sizeof key, "address:%u.%u.%u.%u", bytes[12], bytes[13], bytes[14],
                      bytes[15]);
    } else {
        std::snprintf(key, sizeof key, "address:%02x%02x:%02x%02x:%02x%02x:%02x%02x::/64", bytes[0],
                      bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7]);
    }
    return key;
}

store::TUtcTime TLoginThrottle::ReadyAt(TFailures& failures, int free, store::TUtcTime now) const {
    while (!failures.Times.empty() && failures.Times.front() <= now - policy_.Window) {
        failures.Times.pop_front();
    }
    const int count = static_cast<int>(failures.Times.size());
    if (count < free) return now;
    auto delay = policy_.FirstDelay;
    for (int i = free; i < count && delay < policy_.MaxDelay; ++i)
        delay *= 2;
    return failures.Times.back() + std::min(delay, policy_.MaxDelay);
}

store::TUtcTime TLoginThrottle::Ready(const std::string (&keys)[2], store::TUtcTime now) {
    const int free[] = {policy_.FreePerAddress, policy_.FreePerName};
    store::TUtcTime ready = now;
    for (int i = 0; i < 2; ++i) {
        if (const auto found = keys_.find(keys[i]); found != keys_.end()) {
            ready = std::max(ready, ReadyAt(found->second, free[i], now));
        }
    }
    return ready;
}

TLoginThrottle::TFailures& TLoginThrottle::Entry(const std::string& key, store::TUtcTime now) {
    if (keys_.size() >= policy_.MaxKeys && !keys_.contains(key)) Forget(now);
    return keys_[key];
}

// Makes room: first for keys whose failures have all left the window, then, under a flood of
// new ones, for the tenth of the keys whose last failure is oldest, so that a flood costs one
// pass over the table per thousand new keys, not one per key.
void TLoginThrottle::Forget(store::TUtcTime now) {
    std::erase_if(keys_, [&](const auto& entry) {
        return entry.second.Times.empty() || entry.second.Times.back() <= now - policy_.Window;
    });
    if (keys_.size() < policy_.MaxKeys) return;
    std::vector<std::pair<store::TUtcTime, const std::string*>> last;
    last.reserve(keys_.size());
    for (const auto& [key, failures] : keys_)
        last.emplace_back(failures.Times.back(), &key);
    const std::size_t drop = std::max<std::size_t>(1, keys_.size() / 10);
    std::nth_element(last.begin(), last.begin() + static_cast<std::ptrdiff_t>(drop - 1),
                     last.end());
    std::vector<std::string> oldest;
    for (std::size_t i = 0; i < drop; ++i)
        oldest.push_back(*last[i].second);
    for (const std::string& key : oldest)
        keys_.erase(key);
}

chr::seconds TLoginThrottle::Attempt(std::string_view address, std::string_view name,
                                     store::TUtcTime now) {
    const std::lock_guard lock(mutex_);
    const std::string keys[] = {AddressKey(address), NameKey(name)};
    const int free[] = {policy_.FreePerAddress, policy_.FreePerName};
    if (const store::TUtcTime ready = Ready(keys, now); ready > now) {
        return CeilSeconds(ready - now);
    }
    for (int i = 0; i < 2; ++i) {
        auto& times = Entry(keys[i], now).Times;
        times.push_back(now);
        if (times.size() > static_cast<std::size_t>(free[i] + kKeptBeyondFree)) times.pop_front();
    }
    return chr::seconds(0);
}

void TLoginThrottle::Succeeded(std::string_view address, std::string_view name,
                               store::TUtcTime at) {
    const std::lock_guard lock(mutex_);
    keys_.erase(NameKey(name));
    if (const auto found = keys_.find(AddressKey(address)); found != keys_.end()) {
        auto& times = found->second.Times;
        if (const auto attempt = std::find(times.rbegin(), times.rend(), at);
            attempt != times.rend()) {
            times.erase(std::next(attempt).base());
        }
        if (times.empty()) keys_.erase(found);
    }
}

chr::seconds TLoginThrottle::Wait(std::string_view address, std::string_view name,
                                  store::TUtcTime now) {
    const std::lock_guard lock(mutex_);
    const std::string keys[] = {AddressKey(address), NameKey(name)};
    return CeilSeconds(Ready(keys, now) - now);
}

std::size_t TLoginThrottle::Keys() const {
    const std::lock_guard lock(mutex_);
    return keys_.size();
}

}  // namespace kstbell::users
