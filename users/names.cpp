#include "users/names.h"

#include "protocol/format_characters.h"
#include "store/clean_text.h"

namespace kstbell::users {

namespace {

// C0 controls, DEL, and C1 controls (U+0080 to U+009F, which UTF-8 writes as C2 80 to C2 9F).
bool HasControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) return true;
        if (byte == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::string> NameProblem(std::string_view name, std::string_view what) {
    const std::string subject(what);
    if (name.empty()) return "a " + subject + " cannot be empty";
    if (name.size() > kMaxNameBytes) {
        return "a " + subject + " is at most " + std::to_string(kMaxNameBytes) + " bytes long";
    }
    if (store::CleanText(name, name.size()) != name) {
        return "a " + subject + " must be valid UTF-8";
    }
    if (HasControl(name)) return "a " + subject + " cannot hold control characters";
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
