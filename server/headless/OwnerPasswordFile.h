// The owner's password (remoteadminpassword) for a server without a screen, from a file: the one
// named with --admin-password-file, else the credential "admin-password" that systemd's
// LoadCredential= places in $CREDENTIALS_DIRECTORY. The file holds one line (a last line break is
// dropped), at most kMaxFileBytes, is a regular file that others can neither read nor write, and
// the password follows the remote admin password's rules of the settings sheet. Nothing here ever
// shows the password.
#pragma once

#include <QString>
#include <optional>
#include <string>

class OwnerPasswordFile {
public:
    static constexpr qint64 kMaxFileBytes = 1024;
    static constexpr const char* kCredentialName = "admin-password";

    // The file to read: the option's when given, else the credential when it exists.
    static std::optional<QString> Choose(const QString& optionPath,
                                         const QString& credentialsDirectory);

    struct Read {
        QString password;     // empty when refused
        std::string problem;  // why the file was refused, naming it
    };
    static Read Load(const QString& path);
};
