#include "users/secret.h"

#include <sodium.h>

#include "users/sodium_ready.h"

namespace kstbell::users {

namespace {

constexpr std::size_t kSelectorBytes = 9;
constexpr std::size_t kVerifierBytes = 32;
constexpr std::size_t kHashBytes = crypto_generichash_BYTES;  // 32

std::string Base64Url(const unsigned char* bytes, std::size_t size) {
    constexpr int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
    std::string text(sodium_base64_encoded_len(size, variant), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, variant);
    text.resize(text.size() - 1);  // the terminating NUL
    return text;
}

bool IsBase64Url(std::string_view text) {
    for (const char c : text) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

std::string RandomText(std::size_t bytes) {
    SodiumReady();
    std::string random(bytes, '\0');
    randombytes_buf(random.data(), random.size());
    std::string text = Base64Url(reinterpret_cast<const unsigned char*>(random.data()), bytes);
    sodium_memzero(random.data(), random.size());
    return text;
}

TSplitSecret NewSplitSecret(std::string_view prefix) {
    TSplitSecret secret;
    secret.Selector = RandomText(kSelectorBytes);
    secret.Text = std::string(prefix) + secret.Selector + RandomText(kVerifierBytes);
    secret.Hash = HashSecret(secret.Text);
    return secret;
}

std::optional<std::string> SelectorOf(std::string_view prefix, std::string_view text) {
    if (text.size() != prefix.size() + kSelectorChars + kVerifierChars) return std::nullopt;
    if (!text.starts_with(prefix) || !IsBase64Url(text.substr(prefix.size()))) {
        return std::nullopt;
    }
    return std::string(text.substr(prefix.size(), kSelectorChars));
}

std::string HashSecret(std::string_view text) {
    SodiumReady();
    std::string hash(kHashBytes, '\0');
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), hash.size(),
                       reinterpret_cast<const unsigned char*>(text.data()), text.size(), nullptr,
                       0);
    return hash;
}

bool SameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

void Wipe(std::string& text) {
    if (!text.empty()) sodium_memzero(text.data(), text.size());
    text.clear();
}

}  // namespace kstbell::users
