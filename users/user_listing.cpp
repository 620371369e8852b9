#include "users/user_listing.h"

#include <algorithm>
#include <ostream>
#include <string>

namespace kstbell::users {

namespace {

using TRow = std::vector<std::string>;

void PrintTable(const std::vector<TRow>& rows, std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const TRow& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    for (const TRow& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        out << line << '\n';
    }
}

}  // namespace

void PrintUsers(const std::vector<TUser>& users, std::ostream& out) {
    std::vector<TRow> rows = {{"NAME", "ROLE", "CREATED", "PASSWORD SET", "STATE"}};
    for (const TUser& user : users) {
        rows.push_back({user.Name, std::string(RoleName(user.Role)), store::FormatUtc(user.Created),
                        store::FormatUtc(user.PasswordChanged),
                        user.Disabled ? "disabled " + store::FormatUtc(*user.Disabled)
                                      : std::string("enabled")});
    }
    PrintTable(rows, out);
}

void PrintTokens(const std::vector<TApiToken>& tokens, std::ostream& out) {
    std::vector<TRow> rows = {{"ID", "USER", "NAME", "ROLE", "CREATED", "LAST USED", "STATE"}};
    for (const TApiToken& token : tokens) {
        std::string state = "active";
        if (token.UserDisabled) {
            state = "user disabled";
        } else if (token.Acts != token.Role) {
            state = "acts as " + std::string(RoleName(token.Acts));
        }
        rows.push_back({std::to_string(token.Id), token.UserName, token.Name,
                        std::string(RoleName(token.Role)), store::FormatUtc(token.Created),
                        token.LastUsed ? store::FormatUtc(*token.LastUsed) : "never", state});
    }
    PrintTable(rows, out);
}

}  // namespace kstbell::users
