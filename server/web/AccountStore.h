// The web admin's accounts beside the owner: a name, a role and an Argon2id hash of the password,
// kept in a file only its owner may read (`tarnwick/admins`), written whole and atomically at
// every change. A file that cannot be read leaves no account (the owner still logs in) and says
// why. Hashing and checking a password takes tens of milliseconds and tens of MiB on purpose:
// callers on a busy thread run VerifyPassword elsewhere. User-interface thread, but for the two
// static functions, which any thread may call.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "Role.h"

struct Account {
    std::string name;
    Role role = Role::Viewer;
    std::string hash;  // crypto_pwhash_str's text
};

class AccountStore {
public:
    static constexpr const char* kDefaultPath = "tarnwick/admins";
    static constexpr std::size_t kMaxAccounts = 64;
    static constexpr qsizetype kMaxNameLength = 32;
    static constexpr qsizetype kMinPasswordLength = 8;
    static constexpr qsizetype kMaxPasswordLength = 128;
    static constexpr const char* kOwnerName = "owner";

    explicit AccountStore(std::string path = kDefaultPath);

    // Reads the file again; answers why it was refused, or empty (a missing file is no account).
    std::string Load();
    // Adds the account, or gives an existing one its new role and password. Answers why it was
    // refused (a bad name, role or password, a full table, a file that cannot be written), or
    // empty; nothing changes on a refusal.
    std::string Put(const QString& name, const QString& role, const QString& password);
    // False when there is no such account or the file cannot be written (then nothing changes).
    bool Remove(const std::string& name, std::string* problem = nullptr);
    std::optional<Account> Find(const std::string& name) const;
    const std::vector<Account>& Accounts() const { return accounts_; }

    static std::optional<Role> RoleNamed(const QString& name);  // admin, moderator, viewer
    static std::string CheckName(const QString& name);          // why it is refused, or empty
    static std::string CheckPassword(const QString& password);
    static std::string HashPassword(const std::string& password);  // empty when out of memory
    static bool VerifyPassword(const std::string& hash, const std::string& password);

private:
    std::string Save(const std::vector<Account>& accounts);

    std::string path_;
    std::vector<Account> accounts_;
};
