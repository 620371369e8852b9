#include "users/role.h"

#include <array>
#include <utility>

#include "store/name_table.h"

namespace kstbell::users {

namespace {

using store::NameIn;
using store::ValueIn;

constexpr std::array kRoles = {
    std::pair{TRole::Viewer, std::string_view("viewer")},
    std::pair{TRole::Operator, std::string_view("operator")},
    std::pair{TRole::Admin, std::string_view("admin")},
};

constexpr std::array kPermissions = {
    std::pair{TPermission::View, std::string_view("view")},
    std::pair{TPermission::Operate, std::string_view("operate")},
    std::pair{TPermission::Administer, std::string_view("administer")},
};

constexpr std::array kRoleValues = {TRole::Viewer, TRole::Operator, TRole::Admin};
constexpr std::array kPermissionValues = {TPermission::View, TPermission::Operate,
                                          TPermission::Administer};

// The lowest role that holds the permission.
constexpr TRole Needs(TPermission permission) {
    switch (permission) {
        case TPermission::View:
            return TRole::Viewer;
        case TPermission::Operate:
            return TRole::Operator;
        case TPermission::Administer:
            return TRole::Admin;
    }
    return TRole::Admin;  // a value outside the enumeration grants nothing below admin
}

}  // namespace

std::span<const TRole> AllRoles() {
    return kRoleValues;
}
std::span<const TPermission> AllPermissions() {
    return kPermissionValues;
}

std::string_view RoleName(TRole role) {
    return NameIn(kRoles, role);
}
std::string_view PermissionName(TPermission permission) {
    return NameIn(kPermissions, permission);
}
std::optional<TRole> RoleFromName(std::string_view name) {
    return ValueIn(kRoles, name);
}
std::optional<TPermission> PermissionFromName(std::string_view name) {
    return ValueIn(kPermissions, name);
}

bool Allows(TRole role, TPermission permission) {
    return static_cast<int>(role) >= static_cast<int>(Needs(permission));
}

TRole Lower(TRole a, TRole b) {
    return static_cast<int>(a) <= static_cast<int>(b) ? a : b;
}

}  // namespace kstbell::users
