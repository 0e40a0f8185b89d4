#include "TestSupport.h"
#include "toolkit/FileOps.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {
QStringList entries(const QTemporaryDir& dir) {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
} // namespace

TEST(FileOps, TempPathIsHiddenBesideTheTargetAndFresh) {
    const QString a = FileOps::TempPathBeside(QStringLiteral("/some/dir/PublicTel.txt"));
    const QString b = FileOps::TempPathBeside(QStringLiteral("/some/dir/PublicTel.txt"));
    EXPECT_EQ(QFileInfo(a).path(), QStringLiteral("/some/dir"));
    EXPECT_TRUE(QFileInfo(a).fileName().startsWith(QStringLiteral(".PublicTel.txt.")));
    EXPECT_NE(a, b);
}

TEST(FileOps, ReplaceSwapsInTheNewFileWhole) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("book.txt"));
    const QString fresh = FileOps::TempPathBeside(target);
    writeFile(target, "old");
    writeFile(fresh, "new");
    QString error;
    ASSERT_TRUE(FileOps::Replace(fresh, target, error)) << error.toStdString();
    EXPECT_EQ(readFile(target), QByteArray("new"));
    EXPECT_EQ(entries(dir), QStringList{QStringLiteral("book.txt")});
}

TEST(FileOps, CopyOverReplacesOrLeavesTheTargetUntouched) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("book.txt.bak"));
    const QString source = dir.filePath(QStringLiteral("book.txt"));
    writeFile(target, "previous backup");
    QByteArray big(300 * 1024, 'x');
    big[0] = 'a';
    writeFile(source, big);
    QString error;
    ASSERT_TRUE(FileOps::CopyOver(source, target, error)) << error.toStdString();
    EXPECT_EQ(readFile(target), big);

    // A missing source or an unwritable destination changes nothing and leaves no temporary file.
    EXPECT_FALSE(FileOps::CopyOver(dir.filePath(QStringLiteral("missing")), target, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(target), big);
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    EXPECT_FALSE(FileOps::CopyOver(source, dir.filePath(QStringLiteral("folder")), error));
    EXPECT_FALSE(FileOps::CopyOver(source, dir.filePath(QStringLiteral("book.txt/x")), error));
    EXPECT_EQ(entries(dir), QStringList({QStringLiteral("book.txt"), QStringLiteral("book.txt.bak")}));
}

TEST(FileOps, StaleTemporaryFilesOfOneTargetAreRemoved) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("PublicTel.txt"));
    writeFile(target, "book");
    writeFile(FileOps::TempPathBeside(target), "partial");
    writeFile(FileOps::TempPathBeside(target), "partial");
    writeFile(dir.filePath(QStringLiteral(".PrivateTel.txt.abc.part")), "someone else's");
    EXPECT_EQ(FileOps::RemoveStaleTemps(target), 2);
    EXPECT_EQ(entries(dir), QStringList({QStringLiteral(".PrivateTel.txt.abc.part"), QStringLiteral("PublicTel.txt")}));
}
