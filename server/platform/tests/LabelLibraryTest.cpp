#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "LabelLibrary.h"

namespace {

TEST(LabelLibraryTest, AnswersTheLibrarysTextsOnlyWhileLoaded) {
    LabelLibrary labels;
    EXPECT_EQ(labels.LoadLabelText(1073), "");
    ASSERT_TRUE(labels.Load());
    EXPECT_TRUE(labels.Load());  // loading twice keeps the one library
    EXPECT_EQ(labels.LoadLabelText(1073), "Unassigned");
    EXPECT_EQ(labels.LoadLabelText(4242), "");
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

}  // namespace
