// Who a web session acts as. Each role may do all that the roles after it may: the owner
// everything, an admin all but the accounts, a moderator the players, the console's `say` and the
// map, a viewer only read.
#pragma once

enum class Role { Owner, Admin, Moderator, Viewer };

// Whether a session of role `have` may use what needs `need`.
constexpr bool Allows(Role have, Role need) {
    return static_cast<int>(have) <= static_cast<int>(need);
}

constexpr const char* Describe(Role role) {
    switch (role) {
        case Role::Owner:
            return "owner";
        case Role::Admin:
            return "admin";
        case Role::Moderator:
            return "moderator";
        case Role::Viewer:
            return "viewer";
    }
    return "";
}
