#pragma once

// The command line's tables of users and tokens, in aligned columns with a header line.

#include <iosfwd>
#include <vector>

#include "users/api_tokens.h"
#include "users/user_admin.h"

namespace kstbell::users {

void PrintUsers(const std::vector<TUser>& users, std::ostream& out);
void PrintTokens(const std::vector<TApiToken>& tokens, std::ostream& out);

}  // namespace kstbell::users
