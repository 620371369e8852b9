#include "users/user_command.h"

#include <pwd.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>

#include "store/store.h"
#include "store/store_error.h"
#include "users/api_tokens.h"
#include "users/names.h"
#include "users/password_input.h"
#include "users/secret.h"
#include "users/user_admin.h"
#include "users/user_listing.h"

namespace kstbell::users {

namespace {

const std::vector<std::string> kRoleNames = {"viewer", "operator", "admin"};

bool HasPasswordOption(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        return arg == "--password" || arg.starts_with("--password=") || arg == "-p";
    });
}

CLI::App* Verb(CLI::App& parent, const std::string& name, const std::string& description,
               TUserCommandLine& line) {
    CLI::App* verb = parent.add_subcommand(name, description);
    verb->callback(
        [&line, verb, &parent] { line.Verb = parent.get_name() + " " + verb->get_name(); });
    return verb;
}

void AddUserVerbs(CLI::App& app, TUserCommandLine& l) {
    CLI::App* user = app.add_subcommand("user", "the users who may log in to the web page");
    user->require_subcommand(1);
    CLI::App* add = Verb(*user, "add", "add a user; the password is asked for twice", l);
    add->add_option("NAME", l.Name, "the user's name")->required();
    add->add_option("--role", l.Role, "viewer, operator or admin")
        ->required()
        ->check(CLI::IsMember(kRoleNames));
    add->add_option("--password-file", l.PasswordFile, "read the password from its first line");
    Verb(*user, "list", "list the users", l);
    CLI::App* remove = Verb(*user, "remove", "remove a user with its tokens and sessions", l);
    remove->add_option("NAME", l.Name, "the user's name")->required();
    CLI::App* role = Verb(*user, "role", "give a user another role", l);
    role->add_option("NAME", l.Name, "the user's name")->required();
    role->add_option("ROLE", l.Role, "viewer, operator or admin")
        ->required()
        ->check(CLI::IsMember(kRoleNames));
    CLI::App* passwd = Verb(*user, "passwd", "give a user a new password (ends its sessions)", l);
    passwd->add_option("NAME", l.Name, "the user's name")->required();
    passwd->add_option("--password-file", l.PasswordFile, "read the password from its first line");
    CLI::App* disable = Verb(*user, "disable", "stop a user and its tokens (ends its sessions)", l);
    disable->add_option("NAME", l.Name, "the user's name")->required();
    CLI::App* enable = Verb(*user, "enable", "let a disabled user log in again", l);
    enable->add_option("NAME", l.Name, "the user's name")->required();
}

void AddTokenVerbs(CLI::App& app, TUserCommandLine& l) {
    CLI::App* token = app.add_subcommand("token", "API tokens for scripts and automations");
    token->require_subcommand(1);
    CLI::App* create = Verb(*token, "create", "make a token; its secret is shown once", l);
    create->add_option("NAME", l.Name, "the token's name, e.g. what uses it")->required();
    create->add_option("--user", l.User, "the user it acts for")->required();
    create->add_option("--role", l.Role, "viewer, operator or admin; at most the user's")
        ->check(CLI::IsMember(kRoleNames));
    Verb(*token, "list", "list the tokens (never their secrets)", l);
    CLI::App* revoke = Verb(*token, "revoke", "revoke a token at once", l);
    revoke->add_option("ID", l.Id, "the token's id, as listed")->required();
}

}  // namespace

void AddUserCommands(CLI::App& app, TUserCommandLine& line) {
    AddUserVerbs(app, line);
    AddTokenVerbs(app, line);
}

bool RefusePasswordOption(const std::vector<std::string>& args, std::ostream& err) {
    if (!HasPasswordOption(args)) return false;
    err << "kstbelld: a password is never given on the command line: type it when asked, "
           "or use --password-file\n";
    return true;
}

namespace {

bool Parse(const std::vector<std::string>& args, TUserCommandLine& line, std::ostream& out,
           std::ostream& err, int& exitCode) {
    if (RefusePasswordOption(args, err)) {
        exitCode = kUserCommandUsage;
        return false;
    }
    CLI::App app("kstbelld's users and API tokens", "kstbelld");
    app.require_subcommand(1);
    AddUserCommands(app, line);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as the parser takes them
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        exitCode = app.exit(e, out, err) == 0 ? kUserCommandOk : kUserCommandUsage;
        return false;
    }
    return true;
}

// The system account that runs the command, as the log names it.
std::string LocalAccount() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    const uid_t uid = ::geteuid();
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        return found->pw_name;
    }
    return "uid " + std::to_string(uid);
}

int Answer(const TRefused& refused, const std::string& done, std::ostream& out, std::ostream& err) {
    if (!refused) {
        out << done << '\n';
        return kUserCommandOk;
    }
    err << "kstbelld: " << refused->Message << '\n';
    return refused->Kind == TRefusalKind::Invalid ? kUserCommandUsage : kUserCommandFailed;
}

// The name is checked before a password is asked for, so that a typing mistake in it does
// not cost typing the password twice.
bool NameUsable(const std::string& name, std::ostream& err) {
    if (const auto problem = NameProblem(name, "user name")) {
        err << "kstbelld: " << *problem << '\n';
        return false;
    }
    return true;
}

int ChangePassword(TUserAdmin& admin, const TUserCommandLine& l, bool add, std::istream& in,
                   std::ostream& out, std::ostream& err, const store::TChange& change) {
    if (!NameUsable(l.Name, err)) return kUserCommandUsage;
    // Whether the name is free or taken is known before the password is typed twice for
    // nothing (Add checks it again).
    const bool exists = admin.Find(l.Name).has_value();
    if (!add && !exists) return Answer(NoSuchUser(l.Name), "", out, err);
    if (add && exists) return Answer(UserNameTaken(l.Name), "", out, err);
    std::optional<std::filesystem::path> file;
    if (!l.PasswordFile.empty()) file = l.PasswordFile;
    std::string password, error;
    if (!ReadNewPassword(file, l.Name, in, err, password, error)) {
        err << "kstbelld: " << error << '\n';
        return kUserCommandFailed;
    }
    const TRole role = RoleFromName(l.Role).value_or(TRole::Viewer);
    const TRefused refused = add ? admin.Add(l.Name, role, password, change)
                                 : admin.SetPassword(l.Name, password, change);
    Wipe(password);
    return Answer(refused,
                  add ? "user " + l.Name + " added (" + l.Role + ")"
                      : "user " + l.Name + " has a new password; its sessions ended",
                  out, err);
}

int CreateToken(TApiTokens& tokens, const TUserCommandLine& l, std::ostream& out, std::ostream& err,
                const store::TChange& change) {
    const auto role = l.Role.empty() ? std::nullopt : RoleFromName(l.Role);
    const TResult<TNewToken> made = tokens.Create(l.User, l.Name, role, change);
    if (!made.Ok()) return Answer(made.Refusal(), "", out, err);
    const TNewToken& token = made.Value();
    err << "token " << token.Id << " '" << token.Name << "' for " << token.UserName << " ("
        << RoleName(token.Role) << "); it is shown this once, keep it now:\n";
    out << token.Secret << '\n';
    return kUserCommandOk;
}

int Run(const TUserCommandLine& l, store::TStore& store, std::istream& in, std::ostream& out,
        std::ostream& err) {
    const store::TChange change{.At = std::chrono::time_point_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now()),
                                .Actor = LocalAccount(),
                                .Cause = store::TAuditCause::Cli};
    TUserAdmin admin(store);
    TApiTokens tokens(store);
    if (l.Verb == "user add") return ChangePassword(admin, l, true, in, out, err, change);
    if (l.Verb == "user passwd") return ChangePassword(admin, l, false, in, out, err, change);
    if (l.Verb == "user list") {
        PrintUsers(admin.List(), out);
        return kUserCommandOk;
    }
    if (l.Verb == "user remove") {
        return Answer(admin.Remove(l.Name, change),
                      "user " + l.Name + " removed with its tokens and sessions", out, err);
    }
    if (l.Verb == "user role") {
        const TRole role = RoleFromName(l.Role).value_or(TRole::Viewer);
        return Answer(admin.SetRole(l.Name, role, change), "user " + l.Name + " is now " + l.Role,
                      out, err);
    }
    if (l.Verb == "user disable" || l.Verb == "user enable") {
        const bool disable = l.Verb == "user disable";
        return Answer(admin.SetDisabled(l.Name, disable, change),
                      "user " + l.Name + (disable ? " disabled; its sessions ended" : " enabled"),
                      out, err);
    }
    if (l.Verb == "token create") return CreateToken(tokens, l, out, err, change);
    if (l.Verb == "token list") {
        PrintTokens(tokens.List(), out);
        return kUserCommandOk;
    }
    if (l.Verb == "token revoke") {
        return Answer(tokens.Revoke(l.Id, change), "token " + std::to_string(l.Id) + " revoked",
                      out, err);
    }
    err << "kstbelld: unknown command " << l.Verb << '\n';
    return kUserCommandUsage;
}

}  // namespace

int RunUserCommand(const std::vector<std::string>& args, const std::filesystem::path& stateDir,
                   std::istream& in, std::ostream& out, std::ostream& err) {
    TUserCommandLine line;
    int exitCode = kUserCommandOk;
    if (!Parse(args, line, out, err, exitCode)) return exitCode;
    return RunUserCommand(line, stateDir, in, out, err);
}

int RunUserCommand(const TUserCommandLine& line, const std::filesystem::path& stateDir,
                   std::istream& in, std::ostream& out, std::ostream& err) {
    try {
        store::TStore store(stateDir, store::TFolderOwner::MineOrRoot);
        return Run(line, store, in, out, err);
    } catch (const store::TStoreError& error) {
        err << "kstbelld: " << error.what() << '\n';
    } catch (const std::exception& error) {
        err << "kstbelld: " << error.what() << '\n';
    }
    return kUserCommandFailed;
}

}  // namespace kstbell::users
