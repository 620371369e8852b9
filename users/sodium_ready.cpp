#include "users/sodium_ready.h"

#include <sodium.h>

#include <stdexcept>

namespace kstbell::users {

void SodiumReady() {
    static const bool ready = sodium_init() >= 0;  // 1: it was set up before
    if (!ready) throw std::runtime_error("libsodium cannot be set up");
}

}  // namespace kstbell::users
