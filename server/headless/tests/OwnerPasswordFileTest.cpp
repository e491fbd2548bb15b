#include "OwnerPasswordFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

TEST(OwnerPasswordFileTest, OneLineByTheRemoteAdminPasswordsRulesReadableByItsOwnerOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("admin-password");
    struct Case {
        QByteArray bytes;
        mode_t mode;
        const char* password;  // nullptr: refused with `why`
        const char* why;
    };
    // clang-format off
    const Case cases[] = {
        {"s3cret-pw\n", 0600, "s3cret-pw", ""},
        {"s3cret-pw\r\n", 0400, "s3cret-pw", ""},
        {"caf\xc3\xa9-pw", 0640, "caf\u00e9-pw", ""},
        {"s3cret-pw\n", 0604, nullptr, "is readable by others (chmod o-rwx it)"},
        {"12345\n", 0600, nullptr, "is refused: Password must be at least 6 characters in length."},
        {"\n", 0600, nullptr, "holds no password"},
        {"first-line\nsecond\n", 0600, nullptr, "holds more than one line"},
        {QByteArray(2000, 'p'), 0600, nullptr, "is larger than 1024 bytes"},
    };
    // clang-format on
    for (const Case& c : cases) {
        QFile::remove(path);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.bytes);
        file.close();
        ASSERT_EQ(::chmod(path.toLocal8Bit().constData(), c.mode), 0);
        const OwnerPasswordFile::Read read = OwnerPasswordFile::Load(path);
        if (c.password) {
            EXPECT_EQ(read.problem, "") << c.bytes.toStdString();
            EXPECT_EQ(read.password, QString::fromUtf8(c.password));
        } else {
            EXPECT_EQ(read.problem, "the admin password file " + path.toStdString() + " " + c.why);
            EXPECT_TRUE(read.password.isEmpty());
        }
    }
    EXPECT_EQ(OwnerPasswordFile::Load(dir.filePath("none")).problem,
              "the admin password file " + dir.filePath("none").toStdString() + " does not exist");

    // The option's file first, else systemd's credential when there is one.
    const QString credentials = dir.path();
    EXPECT_EQ(OwnerPasswordFile::Choose("/etc/pw", credentials), QStringLiteral("/etc/pw"));
    EXPECT_EQ(OwnerPasswordFile::Choose("", credentials), path);
    EXPECT_EQ(OwnerPasswordFile::Choose("", dir.filePath("elsewhere")), std::nullopt);
    EXPECT_EQ(OwnerPasswordFile::Choose("", ""), std::nullopt);
}
