#include "AccountStore.h"

#include <sodium.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "PrivateFile.h"

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024;

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

AccountStore::AccountStore(std::string path) : path_(std::move(path)) {}

std::optional<Role> AccountStore::RoleNamed(const QString& name) {
    for (Role role : {Role::Admin, Role::Moderator, Role::Viewer})
        if (name == QLatin1String(Describe(role))) return role;
    return std::nullopt;
}

std::string AccountStore::CheckName(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return "a name has 1 to " + std::to_string(kMaxNameLength) + " characters";
    for (QChar c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'.' && c != u'-' && c != u'_')
            return "a name holds only letters, digits, '.', '-' and '_'";
    if (name.compare(QLatin1String(kOwnerName), Qt::CaseInsensitive) == 0)
        return "\"owner\" is the remote admin password's name";
    return {};
}

std::string AccountStore::CheckPassword(const QString& password) {
    if (password.size() < kMinPasswordLength || password.size() > kMaxPasswordLength)
        return "a password has " + std::to_string(kMinPasswordLength) + " to " +
               std::to_string(kMaxPasswordLength) + " characters";
    for (QChar c : password)
        if (c.category() == QChar::Other_Control) return "a password holds no control characters";
    return {};
}

std::string AccountStore::HashPassword(const std::string& password) {
    char hash[crypto_pwhash_STRBYTES];
    if (!SodiumReady() || crypto_pwhash_str(hash, password.data(), password.size(),
                                            crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                            crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        return {};
    return hash;
}

bool AccountStore::VerifyPassword(const std::string& hash, const std::string& password) {
    return SodiumReady() &&
           crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string AccountStore::Load() {
    accounts_.clear();
    const private_file::ReadResult read =
        private_file::Read(QString::fromStdString(path_), kMaxFileBytes, true);
    if (read.missing) return {};
    if (!read.problem.empty()) return read.problem;
    const QJsonDocument document = QJsonDocument::fromJson(read.bytes);
    const std::string foreign = path_ + ": not an accounts file this server wrote";
    if (!document.isObject()) return foreign;
    std::vector<Account> accounts;
    for (const QJsonValue& value : document.object().value("accounts").toArray()) {
        const QJsonObject entry = value.toObject();
        const QString name = entry.value("name").toString();
        const std::optional<Role> role = RoleNamed(entry.value("role").toString());
        const std::string hash = entry.value("hash").toString().toStdString();
        if (!CheckName(name).empty() || !role || hash.empty() ||
            hash.size() >= crypto_pwhash_STRBYTES || accounts.size() >= kMaxAccounts ||
            std::ranges::find(accounts, name.toStdString(), &Account::name) != accounts.end())
            return foreign;
        accounts.push_back({name.toStdString(), *role, hash});
    }
    accounts_ = std::move(accounts);
    return {};
}

std::string AccountStore::Save(const std::vector<Account>& accounts) {
    QJsonArray entries;
    for (const Account& account : accounts)
        entries.append(QJsonObject{{"name", QString::fromStdString(account.name)},
                                   {"role", QLatin1String(Describe(account.role))},
                                   {"hash", QString::fromStdString(account.hash)}});
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{"accounts", entries}}).toJson(QJsonDocument::Indented);
    std::string problem = private_file::Write(QString::fromStdString(path_), bytes);
    if (problem.empty()) accounts_ = accounts;
    return problem;
}

std::string AccountStore::Put(const QString& name, const QString& role, const QString& password) {
    if (std::string why = CheckName(name); !why.empty()) return why;
    const std::optional<Role> given = RoleNamed(role);
    if (!given) return "a role is admin, moderator or viewer";
    if (std::string why = CheckPassword(password); !why.empty()) return why;
    std::vector<Account> accounts = accounts_;
    const std::string key = name.toStdString();
    auto it = std::ranges::find(accounts, key, &Account::name);
    if (it == accounts.end()) {
        if (accounts.size() >= kMaxAccounts)
            return "there are " + std::to_string(kMaxAccounts) + " accounts already";
        it = accounts.insert(accounts.end(), Account{key, *given, {}});
    }
    it->role = *given;
    it->hash = HashPassword(password.toStdString());
    if (it->hash.empty()) return "the password could not be hashed (out of memory)";
    return Save(accounts);
}

bool AccountStore::Remove(const std::string& name, std::string* problem) {
    std::vector<Account> accounts = accounts_;
    if (std::erase_if(accounts, [&](const Account& a) { return a.name == name; }) == 0)
        return false;
    std::string why = Save(accounts);
    if (problem) *problem = why;
    return why.empty();
}

std::optional<Account> AccountStore::Find(const std::string& name) const {
    const auto it = std::ranges::find(accounts_, name, &Account::name);
    if (it == accounts_.end()) return std::nullopt;
    return *it;
}
