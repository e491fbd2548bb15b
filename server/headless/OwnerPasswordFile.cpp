#include "OwnerPasswordFile.h"

#include <QFileInfo>

#include "PrivateFile.h"
#include "SettingFields.h"

std::optional<QString> OwnerPasswordFile::Choose(const QString& optionPath,
                                                 const QString& credentialsDirectory) {
    if (!optionPath.isEmpty()) return optionPath;
    if (credentialsDirectory.isEmpty()) return std::nullopt;
    const QString credential = credentialsDirectory + '/' + QLatin1String(kCredentialName);
    if (!QFileInfo(credential).exists()) return std::nullopt;
    return credential;
}

OwnerPasswordFile::Read OwnerPasswordFile::Load(const QString& path) {
    Read read;
    const auto refuse = [&](const std::string& why) {
        read.problem = "the admin password file " + path.toStdString() + " " + why;
        return read;
    };
    const private_file::ReadResult file = private_file::Read(path, kMaxFileBytes, true);
    if (file.missing) return refuse("does not exist");
    if (!file.problem.empty()) {
        read.problem = "the admin password file " + file.problem;
        return read;
    }
    QByteArray bytes = file.bytes;
    if (bytes.endsWith('\n')) bytes.chop(bytes.endsWith("\r\n") ? 2 : 1);
    if (bytes.contains('\n')) return refuse("holds more than one line");
    if (bytes.isEmpty()) return refuse("holds no password");
    // A byte that is no UTF-8 becomes a character the engine cannot keep, and is refused so.
    const QString password = QString::fromUtf8(bytes);
    const SettingField& field = FieldOf(Setting::RemoteAdminPassword);
    if (const FieldProblem problem = CheckField(field, password); problem != FieldProblem::None)
        return refuse("is refused: " + RefusalMessage(field, problem).toStdString());
    read.password = password;
    return read;
}
