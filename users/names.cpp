#include "users/names.h"

#include "protocol/format_characters.h"
#include "store/clean_text.h"
#include "text/control.h"

namespace kstbell::users {

std::optional<std::string> NameProblem(std::string_view name, std::string_view what) {
    const std::string subject(what);
    if (name.empty()) return "a " + subject + " cannot be empty";
    if (name.size() > kMaxNameBytes) {
        return "a " + subject + " is at most " + std::to_string(kMaxNameBytes) + " bytes long";
    }
    if (store::CleanText(name, name.size()) != name) {
        return "a " + subject + " must be valid UTF-8";
    }
    if (text::HasControlCharacter(name)) return "a " + subject + " cannot hold control characters";
    if (const auto invisible = FormatCharacterText(name)) {
        return "a " + subject + " cannot hold " + *invisible;
    }
    if (name.front() == ' ' || name.back() == ' ') {
        return "a " + subject + " cannot begin or end with a space";
    }
    return std::nullopt;
}

std::optional<std::string> PasswordProblem(std::string_view password) {
    if (password.size() < kMinPasswordBytes) {
        return "a password needs at least " + std::to_string(kMinPasswordBytes) + " bytes";
    }
    if (password.size() > kMaxPasswordBytes) {
        return "a password is at most " + std::to_string(kMaxPasswordBytes) + " bytes long";
    }
    return std::nullopt;
}

}  // namespace kstbell::users
