#include "InstallLock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <string>

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(InstallLockTest, TheSecondTakerLearnsTheHoldersIdAndTheFileGoesWithTheHolder) {
    QTemporaryDir directory;
    const std::string path = directory.filePath("server.lock").toStdString();
    {
        InstallLock first(path);
        ASSERT_EQ(first.GetState(), InstallLock::State::Held);
        EXPECT_EQ(first.Message(), "");
        EXPECT_EQ(Read(path), std::to_string(::getpid()) + "\n");
        InstallLock second(path);  // a lock of its own on the file, as another process takes it
        EXPECT_EQ(second.GetState(), InstallLock::State::HeldByAnother);
        EXPECT_EQ(second.Holder(), ::getpid());
        EXPECT_NE(second.Message().find("(process " + std::to_string(::getpid()) + ")"),
                  std::string::npos);
        EXPECT_EQ(Read(path), std::to_string(::getpid()) + "\n") << "the loser writes nothing";
    }
    EXPECT_NE(::access(path.c_str(), F_OK), 0);
    EXPECT_EQ(InstallLock(path).GetState(), InstallLock::State::Held);
}

// What lies at the path is only read, never trusted: an id that is not one is unknown, and a link
// or a directory there is neither followed nor locked, and the program goes on.
TEST(InstallLockTest, WhatLiesAtThePathCannotMisleadOrBeOverwritten) {
    QTemporaryDir directory;
    const std::string path = directory.filePath("server.lock").toStdString();
    const std::string target = directory.filePath("target").toStdString();
    std::ofstream(target) << "keep\n";
    {
        InstallLock first(path);
        for (const char* text : {"", "12x\n", "-5\n", "99999999999999999999\n"}) {
            std::ofstream(path) << text;
            EXPECT_EQ(InstallLock(path).Holder(), 0) << text;
        }
    }
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    const InstallLock viaLink(path);
    EXPECT_EQ(viaLink.GetState(), InstallLock::State::NotTaken);
    EXPECT_NE(viaLink.Message().find("cannot take the lock file"), std::string::npos);
    EXPECT_EQ(Read(target), "keep\n");
    ::unlink(path.c_str());
    ::mkdir(path.c_str(), 0755);
    EXPECT_EQ(InstallLock(path).GetState(), InstallLock::State::NotTaken);
    EXPECT_EQ(InstallLock(directory.filePath("missing/server.lock").toStdString()).GetState(),
              InstallLock::State::NotTaken);
}

}  // namespace
