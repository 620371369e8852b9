#pragma once

// Who may do what. Every route of a front carries one permission; a user's role, or a
// token's, grants a permission or not. Roles are ordered: each grants what the one below it
// does, and a token's role is never above its user's.

#include <optional>
#include <span>
#include <string_view>

namespace kstbell::users {

enum class TRole {
    Viewer,    // sees horns, rings, alarms, the timetable and the log
    Operator,  // and rings, starts and stops alarms, stops all
    Admin,     // and changes the timetable's exceptions, users and tokens
};

enum class TPermission {
    View,
    Operate,
    Administer,
};

std::span<const TRole> AllRoles();
std::span<const TPermission> AllPermissions();

// "viewer", "operator", "admin"; "view", "operate", "administer".
std::string_view RoleName(TRole role);
std::string_view PermissionName(TPermission permission);
std::optional<TRole> RoleFromName(std::string_view name);
std::optional<TPermission> PermissionFromName(std::string_view name);

bool Allows(TRole role, TPermission permission);

// The lower of the two: what a token may do when its user's role is lower than the token's.
TRole Lower(TRole a, TRole b);

}  // namespace kstbell::users
