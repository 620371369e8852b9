#pragma once

// Passwords are kept only as Argon2id hashes in libsodium's string form, which carries the
// algorithm, its limits and a random salt, so a hash made with older limits still verifies
// and can be redone with the current ones at the next login.
//
// The limits: 2 passes over 32 MiB (one lane). On the project's 2-core build machine, shared
// and loaded, one hash or check takes about 60-80 ms, in the 50-100 ms a login may cost; the
// memory is what makes guessing on graphics cards dear. At most as many hashes as the
// machine has cores run at once (others wait), so a burst of logins cannot take the service's
// memory or every core.

#include <cstddef>
#include <string>
#include <string_view>

namespace kstbell::users {

inline constexpr unsigned long long kPasswordOpsLimit = 2;
inline constexpr std::size_t kPasswordMemLimit = 32u * 1024 * 1024;

// The Argon2id hash of the password with a new salt. Throws std::runtime_error when the memory
// cannot be had.
std::string HashPassword(std::string_view password);

// Whether the password is the one the hash was made from; false for a text that is no hash.
bool VerifyPassword(const std::string& hash, std::string_view password);

// Whether the hash was made with other limits or another algorithm than the current ones.
bool NeedsRehash(const std::string& hash);

// A check against a hash of a password nobody knows, for a user that does not exist: it costs
// what a real check costs, so the time of a refusal does not tell whether the name exists.
void VerifyNobody(std::string_view password);

}  // namespace kstbell::users
