#pragma once

// The names people give users and tokens, and the passwords they choose. A name is what the
// log, the page and a terminal show, so it is 1 to 64 bytes of valid UTF-8 with no control
// characters, no format characters (zero-width, direction marks: a name that looks like
// another) and no space at either end.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kstbell::users {

inline constexpr std::size_t kMaxNameBytes = 64;
inline constexpr std::size_t kMinPasswordBytes = 8;
inline constexpr std::size_t kMaxPasswordBytes = 1024;

// What is wrong with the name, or nothing. `what` names it in the answer ("user name").
std::optional<std::string> NameProblem(std::string_view name, std::string_view what);

// What is wrong with the password, or nothing; the answer never repeats it.
std::optional<std::string> PasswordProblem(std::string_view password);

}  // namespace kstbell::users
