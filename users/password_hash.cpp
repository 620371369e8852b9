#include "users/password_hash.h"

#include <sodium.h>

#include <algorithm>
#include <semaphore>
#include <stdexcept>
#include <thread>

#include "users/secret.h"
#include "users/sodium_ready.h"

namespace kstbell::users {

namespace {

constexpr std::ptrdiff_t kMaxHashesAtOnce = 64;

// Lets as many hashes run at once as there are cores.
class THashSlot {
  public:
    THashSlot() { Slots().acquire(); }
    ~THashSlot() { Slots().release(); }
    THashSlot(const THashSlot&) = delete;
    THashSlot& operator=(const THashSlot&) = delete;

  private:
    static std::counting_semaphore<kMaxHashesAtOnce>& Slots() {
        static std::counting_semaphore<kMaxHashesAtOnce> slots(std::clamp<std::ptrdiff_t>(
            static_cast<std::ptrdiff_t>(std::thread::hardware_concurrency()), 1, kMaxHashesAtOnce));
        return slots;
    }
};

}  // namespace

std::string HashPassword(std::string_view password) {
    SodiumReady();
    char hash[crypto_pwhash_STRBYTES];
    int failed = 0;
    {
        const THashSlot slot;
        failed = crypto_pwhash_str_alg(hash, password.data(), password.size(), kPasswordOpsLimit,
                                       kPasswordMemLimit, crypto_pwhash_ALG_ARGON2ID13);
    }
    if (failed != 0) throw std::runtime_error("not enough memory to hash a password");
    return hash;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
    SodiumReady();
    // Only Argon2id hashes of this program's making: libsodium would also take Argon2i ones.
    if (!hash.starts_with("$argon2id$")) return false;
    const THashSlot slot;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool NeedsRehash(const std::string& hash) {
    SodiumReady();
    if (!hash.starts_with("$argon2id$")) return true;
    return crypto_pwhash_str_needs_rehash(hash.c_str(), kPasswordOpsLimit, kPasswordMemLimit) != 0;
}

void VerifyNobody(std::string_view password) {
    static const std::string nobody = [] {
        std::string unknown = RandomText(32);
        std::string hash = HashPassword(unknown);
        Wipe(unknown);
        return hash;
    }();
    (void)VerifyPassword(nobody, password);
}

}  // namespace kstbell::users
