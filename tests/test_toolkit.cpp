#include "TestSupport.h"
#include "toolkit/Toolkit.h"

#include <QStringDecoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Toolkit;

TEST(GetBetween, CutsUpToTheClosingDelimiter) {
    QString line = QStringLiteral("\tA\tB\t");
    EXPECT_EQ(GetBetween(line, QStringLiteral("\t"), QStringLiteral("\t"), true), QStringLiteral("A"));
    EXPECT_EQ(line, QStringLiteral("B\t"));
}

TEST(GetBetween, EmptyDelimitersMeanStartAndEnd) {
    QString url = QStringLiteral("FTP://host/dir");
    EXPECT_EQ(GetBetween(url, QString(), QStringLiteral("://"), false), QStringLiteral("FTP"));
    EXPECT_EQ(url, QStringLiteral("FTP://host/dir"));
    EXPECT_EQ(GetBetween(url, QStringLiteral("ftp://"), QString(), false), QString());
    EXPECT_EQ(GetBetween(url, QStringLiteral("://"), QString(), true), QStringLiteral("host/dir"));
    EXPECT_EQ(url, QString());
}

TEST(GetBetween, MissingClosingDelimiterGivesEmptyAndLeavesSource) {
    QString line = QStringLiteral("\tonly");
    EXPECT_EQ(GetBetween(line, QStringLiteral("\t"), QStringLiteral("\t"), true), QString());
    EXPECT_EQ(line, QStringLiteral("\tonly"));
}

TEST(FindPositionGetFrom, GiveWhatFollowsThePattern) {
    const QString s = QStringLiteral("ftp://127.0.0.1/x");
    const int p = FindPosition(s, QStringLiteral("://")).toInt();
    EXPECT_EQ(GetFrom(s, p + 1, 0), QStringLiteral("127.0.0.1/x"));
    EXPECT_EQ(FindPosition(QStringLiteral("127.0.0.1"), QStringLiteral("://")), QStringLiteral("0"));
    EXPECT_EQ(GetFrom(QStringLiteral("127.0.0.1"), 1, 0), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(GetFrom(QStringLiteral("abc"), 9, 0), QString());
}

TEST(LeftPart, PrefixPropertyHoldsForChineseLatinAndSurrogates) {
    const QString fields[] = {QStringLiteral("张三"), QStringLiteral("ZhangSan"), QStringLiteral("𠀋x"), QString(),
                              QStringLiteral("a")};
    const QString searches[] = {
        QStringLiteral("张"),      QStringLiteral("zh"), QStringLiteral("张三丰"), QStringLiteral("𠀋"), QString(),
        QStringLiteral("zhangsan")};
    for (const QString& f : fields) {
        for (const QString& s : searches) {
            const bool viaLeftPart = LeftPart(f, TextLength(s)).toLower() == s;
            EXPECT_EQ(viaLeftPart, f.toLower().startsWith(s)) << f.toStdString() << " / " << s.toStdString();
        }
    }
    // Never half a surrogate pair.
    EXPECT_EQ(LeftPart(QStringLiteral("𠀋x"), 1), QString());
}

TEST(WriteLog, CreatesThenAppendsOneLineEach) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub.log"));
    ASSERT_TRUE(WriteLog(QStringLiteral("C:\\tmp\\a,路径"), path));
    ASSERT_TRUE(WriteLog(QStringLiteral("second"), path));
    const QList<QByteArray> lines = TestSupport::readFile(path).split('\n');
    ASSERT_EQ(lines.size(), 3); // two lines and the empty tail
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" C:\\tmp\\a,路径").toUtf8()));
    EXPECT_TRUE(lines[1].endsWith(" second"));
    EXPECT_FALSE(WriteLog(QStringLiteral("x"), dir.filePath(QStringLiteral("missing/dir/x.log"))));
}

TEST(ReadRegValue, BrowserLookupAnswersTheUrlOpenerOrAnError) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "the Linux look-up of the browser (xdg-open on PATH); Windows answers explorer.exe";
#endif
    QTemporaryDir bin;
    const QString opener = bin.filePath(QStringLiteral("xdg-open"));
    TestSupport::writeFile(opener, "#!/bin/sh\n");
    QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray oldPath = qgetenv("PATH");
    const QString key = QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE");

    qputenv("PATH", QFile::encodeName(bin.path()));
    QString status;
    EXPECT_EQ(ReadRegValue(QStringLiteral("HKEY_LOCAL_MACHINE"), key, QString(), status), opener);
    EXPECT_EQ(status, QStringLiteral("OK"));

    qputenv("PATH", QFile::encodeName(bin.filePath(QStringLiteral("none"))));
    EXPECT_EQ(ReadRegValue(QStringLiteral("HKEY_LOCAL_MACHINE"), key, QString(), status), QString());
    EXPECT_NE(status, QStringLiteral("OK"));
    EXPECT_FALSE(status.isEmpty());
    qputenv("PATH", oldPath);
}

// The phone books and the error record depend on the platform's code page 936
// support; this fails loudly if Qt is ever built without it.
TEST(CodePage936, IsAvailableAndMapsEuro) {
    QStringDecoder decoder("GBK");
    ASSERT_TRUE(decoder.isValid());
    EXPECT_EQ(QString(decoder(QByteArray("\xd5\xc5\xc8\xfd\x80"))), QStringLiteral("张三€"));
}
