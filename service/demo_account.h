#pragma once

// The account `kstbelld --simulate` prints so that the page can be tried at once: the user
// "demo", an admin, with a new random password each start.

#include <string>

#include "store/store.h"

namespace kstbell::service {

inline constexpr const char* kDemoUser = "demo";

// Adds the user, or gives it a new password and the admin role, and returns the password.
// Empty, with the reason in error, when it cannot.
std::string MakeDemoAccount(store::TStore& store, std::string& error);

}  // namespace kstbell::service
