#pragma once

// The random secrets behind API tokens, browser sessions and CSRF tokens, through libsodium.
//
// A token or session id is a prefix that says what it is, a selector and a verifier:
// "kstb_" + 12 characters (9 random bytes) + 43 characters (32 random bytes), base64url. The
// selector finds the stored row and is no secret; the verifier is 256 random bits. Only a hash
// of the whole text is stored: plain BLAKE2b-256, which is right for a secret this random (a
// slow password hash would only slow every request down, and a keyed hash would need a key
// kept apart from the database). A presented text is checked by hashing it and comparing the
// hashes in constant time.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::users {

inline constexpr std::string_view kTokenPrefix = "kstb_";     // API tokens
inline constexpr std::string_view kSessionPrefix = "kstbs_";  // session cookies
inline constexpr std::size_t kSelectorChars = 12;
inline constexpr std::size_t kVerifierChars = 43;

struct TSplitSecret {
    std::string Text;      // what the holder presents
    std::string Selector;  // what the row is found by
    std::string Hash;      // what the row keeps (32 bytes)
};

// A new one with this prefix.
TSplitSecret NewSplitSecret(std::string_view prefix);

// The selector of a presented text of the right shape, or nothing.
std::optional<std::string> SelectorOf(std::string_view prefix, std::string_view text);

// The stored hash of a presented text.
std::string HashSecret(std::string_view text);

// Whether two secrets or hashes are equal, in a time that depends only on their lengths.
bool SameSecret(std::string_view a, std::string_view b);

// bytes random bytes, base64url without padding.
std::string RandomText(std::size_t bytes);

// Overwrites the text's bytes before it is freed (for passwords read in).
void Wipe(std::string& text);

}  // namespace kstbell::users
