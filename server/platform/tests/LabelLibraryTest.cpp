#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <cstring>
#include <string>

#include "LabelLibrary.h"

namespace {

TEST(LabelLibraryTest, AnswersEveryLabelTheEngineUses) {
    LabelLibrary labels;
    ASSERT_TRUE(labels.Load()) << QDir::currentPath().toStdString();
    EXPECT_TRUE(labels.Load());  // loading twice keeps the one library
    EXPECT_EQ(labels.LoadLabelText(1073), "Unassigned");
    EXPECT_EQ(labels.LoadLabelText(1080), "Rifleman");
    for (uint32_t id : {1070u, 1071u, 1072u, 1073u}) EXPECT_FALSE(labels.LoadLabelText(id).empty());
    for (uint32_t id = 1080; id <= 1087; ++id) EXPECT_FALSE(labels.LoadLabelText(id).empty()) << id;
    for (uint32_t id : {0u, 8u, 1069u, 1074u, 1079u, 1088u, 0xFFFFFFFFu}) {
        EXPECT_EQ(labels.LoadLabelText(id), "") << id;
    }
}

TEST(LabelLibraryTest, AnswersEmptyTextsWhenNotLoaded) {
    LabelLibrary labels;
    EXPECT_EQ(labels.LoadLabelText(1073), "");
    ASSERT_TRUE(labels.Load());
    labels.Unload();
    EXPECT_FALSE(labels.IsLoaded());
    EXPECT_EQ(labels.LoadLabelText(1073), "");
    labels.Unload();

    LabelLibrary missing(QStringLiteral("tarnwick/no_such_library"));
    EXPECT_FALSE(missing.Load());
    EXPECT_EQ(missing.LoadLabelText(1073), "");
}

// The service may write to the label library's folder: a library planted there under any other
// name the loader could try must never be the one loaded.
TEST(LabelLibraryTest, LoadsOnlyTheExactFileNotAnotherNameBesideIt) {
    const QString demo = QDir::currentPath();
    QTemporaryDir scratch;
    ASSERT_TRUE(QDir(scratch.path()).mkdir(QStringLiteral("tarnwick")));
    for (const char* planted : {"quillon", "libquillon.so", "quillon.so.1", "libquillon"})
        ASSERT_TRUE(QFile::copy(demo + QStringLiteral("/tarnwick/quillon.so"),
                                scratch.filePath(QStringLiteral("tarnwick/")) + planted));
    ASSERT_TRUE(QDir::setCurrent(scratch.path()));
    LabelLibrary labels;
    EXPECT_FALSE(labels.Load());
    EXPECT_TRUE(labels.ErrorText().contains(QLatin1String("no such file")))
        << labels.ErrorText().toStdString();
    ASSERT_TRUE(QDir::setCurrent(demo));
}

TEST(LabelLibraryTest, ResolvesAgainstTheCurrentDirectoryAtLoadTime) {
    LabelLibrary labels;
    const QString demo = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QDir::tempPath()));
    EXPECT_FALSE(labels.Load());
    ASSERT_TRUE(QDir::setCurrent(demo));
    EXPECT_TRUE(labels.Load());
}

TEST(LabelLibraryTest, ExportedLookupHonoursTheCapacity) {
    QLibrary library(QDir::current().absoluteFilePath(QStringLiteral("tarnwick/quillon")));
    ASSERT_TRUE(library.load());
    using Lookup = int32_t (*)(uint32_t, char*, int32_t);
    auto lookup = reinterpret_cast<Lookup>(library.resolve("quillon_load_string"));
    ASSERT_NE(lookup, nullptr);

    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(lookup(1073, buffer, 5), 4);
    EXPECT_STREQ(buffer, "Unas");
    EXPECT_EQ(buffer[5], 'x');  // nothing written past the capacity
    EXPECT_EQ(lookup(1073, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'x';
    EXPECT_EQ(lookup(1073, buffer, 0), 0);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(lookup(1073, nullptr, 10), 0);
    EXPECT_EQ(lookup(4242, buffer, 8), 0);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
