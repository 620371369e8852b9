#pragma once

// libsodium is set up once per process before its first use (its random numbers need it).

namespace kstbell::users {

// Throws std::runtime_error when libsodium cannot be set up.
void SodiumReady();

}  // namespace kstbell::users
