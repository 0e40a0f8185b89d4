#include "Lookup.h"
#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

class Lookup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config.isValid() && books.isValid());
        TestSupport::writeFile(path("mine.txt"), TestSupport::gbk(u"张三\tzs\t8002\t13900000002\t302\r\n"
                                                                  u"Anna Lee\tal\t\t\t\r\n"_qs));
        TestSupport::writeFile(path("all.txt"), TestSupport::gbk(u"赵四\tZS\t8003\t13900000003\t303\r\n"
                                                                 u"李娜\tln\t8001\t\t直拨 66881000\r\n"_qs));
    }

    QString path(const char* name) const { return books.filePath(QString::fromLatin1(name)); }

    Result run(const QStringList& args) const {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(MIRODEX_LOOKUP), args);
        Result r;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return r;
        r.exitCode = process.exitCode();
        r.out = QString::fromUtf8(process.readAllStandardOutput());
        r.err = QString::fromUtf8(process.readAllStandardError());
        return r;
    }

    QStringList withBooks() const { return {u"--private"_qs, path("mine.txt"), u"--public"_qs, path("all.txt")}; }

    QTemporaryDir config;
    QTemporaryDir books;
};

} // namespace

TEST_F(Lookup, PrintsTheMatchesInListOrderAsTabSeparatedUtf8) {
    const Result all = run(withBooks());
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(all.err, QString());
    EXPECT_EQ(all.out, u"李娜\t8001\t直拨 66881000\t\n"
                       u"张三\t8002\t302\t13900000002\n"
                       u"赵四\t8003\t303\t13900000003\n"
                       u"Anna Lee\t\t\t\n"_qs);

    EXPECT_EQ(run(withBooks() << u"ZS"_qs).out, u"张三\t8002\t302\t13900000002\n赵四\t8003\t303\t13900000003\n"_qs);
    EXPECT_EQ(run(withBooks() << u"李"_qs).out, u"李娜\t8001\t直拨 66881000\t\n"_qs);
    // Words are joined by one blank and searched like the box's text.
    EXPECT_EQ(run(withBooks() << u"anna"_qs << u"LEE"_qs).out, u"Anna Lee\t\t\t\n"_qs);
    EXPECT_EQ(run(withBooks() << u"  anna lee "_qs).out, u"Anna Lee\t\t\t\n"_qs);
    EXPECT_EQ(run(withBooks() << u"--"_qs << u"-x"_qs).out, QString());
    EXPECT_EQ(run(withBooks() << u"annalee"_qs).out, QString());
}

TEST_F(Lookup, AnUnreadableBookIsReportedAndTheOtherStillSearched) {
    const Result r = run({u"--private"_qs, path("missing.txt"), u"--public=%1"_qs.arg(path("all.txt")), u"z"_qs});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith(u"初始化本地电话簿错误："_qs)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(path("missing.txt")));
    EXPECT_EQ(r.out, u"赵四\t8003\t303\t13900000003\n"_qs);
}

TEST_F(Lookup, BadArgumentsAndHelp) {
    for (const QStringList& args : {QStringList{u"--bogus"_qs}, QStringList{u"--private"_qs},
                                    QStringList{u"--public"_qs, path("all.txt"), u"--public"_qs, path("all.txt")}}) {
        const Result r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_EQ(r.out, QString());
        EXPECT_TRUE(r.err.contains(u"Usage: mirodex-lookup"_qs));
    }
    const Result help = run({u"--help"_qs});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(u"Usage: mirodex-lookup [--private FILE] [--public FILE] [TEXT...]"_qs));
    EXPECT_TRUE(help.out.contains(u"Exit status"_qs));
}

TEST_F(Lookup, BooksDefaultToTheStoredPathsAndTheStoreIsNeverWritten) {
    // Nothing stored: the registered defaults (beside the program) are used, and nothing is saved.
    const Result fresh = run({});
    EXPECT_EQ(fresh.exitCode, 1);
    const QString dir = QFileInfo(QStringLiteral(MIRODEX_LOOKUP)).absolutePath();
    EXPECT_TRUE(fresh.err.contains(QDir::toNativeSeparators(dir + u"/PrivateTel.txt"_qs))) << fresh.err.toStdString();
    EXPECT_TRUE(fresh.err.contains(QDir::toNativeSeparators(dir + u"/PublicTel.txt"_qs)));
    EXPECT_TRUE(QDir(config.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

#ifdef Q_OS_WIN
    QSettings s(u"HKEY_CURRENT_USER\\Software\\Pellinor\\Mirodex"_qs, QSettings::NativeFormat);
    EXPECT_TRUE(s.allKeys().isEmpty());
    // The registry's values, where elsewhere the file's bytes tell whether anything was written.
    const auto snapshot = [&] {
        s.sync();
        QByteArray all;
        for (const QString& key : s.allKeys())
            all += key.toUtf8() + '=' + s.value(key).toString().toUtf8() + '\n';
        return all;
    };
#else
    const QString storeFile = config.filePath(u"Pellinor/Mirodex.conf"_qs);
    QSettings s(storeFile, QSettings::IniFormat);
    const auto snapshot = [&] {
        s.sync();
        return TestSupport::readFile(storeFile);
    };
#endif
    s.setValue(u"LocalTxlFile"_qs, path("mine.txt"));
    s.setValue(u"SrvTxlFile"_qs, path("all.txt"));
    const QByteArray stored = snapshot();
    const Result r = run({u"al"_qs});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, u"Anna Lee\t\t\t\n"_qs);
    EXPECT_EQ(snapshot(), stored);
}

TEST_F(Lookup, ADigitTextAlsoFindsTheNumbersInNameOrder) {
    EXPECT_EQ(run(withBooks() << u"800"_qs).out,
              u"李娜\t8001\t直拨 66881000\t\n张三\t8002\t302\t13900000002\n赵四\t8003\t303\t13900000003\n"_qs);
    EXPECT_EQ(run(withBooks() << u" 13900000003 "_qs).out, u"赵四\t8003\t303\t13900000003\n"_qs);
    EXPECT_EQ(run(withBooks() << u"30"_qs).out, u"张三\t8002\t302\t13900000002\n赵四\t8003\t303\t13900000003\n"_qs);
    // Numbers are matched from their start, by their digits.
    EXPECT_EQ(run(withBooks() << u"66881000"_qs).out, QString());
    EXPECT_EQ(run(withBooks() << u"8"_qs << u"00"_qs << u"3"_qs).out, u"赵四\t8003\t303\t13900000003\n"_qs);
}

TEST_F(Lookup, ABookWithoutInitialsIsFoundByThoseOfTheNames) {
    TestSupport::writeFile(path("all.txt"), TestSupport::gbk(u"赵四\t\t8003\r\n单雄信\t\t8004\r\n"_qs));
    EXPECT_EQ(run(withBooks() << u"zs"_qs).out, u"张三\t8002\t302\t13900000002\n赵四\t8003\t\t\n"_qs);
    EXPECT_EQ(run(withBooks() << u"SX"_qs).out, u"单雄信\t8004\t\t\n"_qs);
}

TEST_F(Lookup, NumbersWithSeparatorsAsTheWindowFindsThem) {
    TestSupport::writeFile(path("all.txt"), TestSupport::gbk(u"王建国\twjg\t010-62345678\r\n"
                                                             u"李娜\tln\t\t+86 138 0013 8000\r\n"_qs));
    for (const QString& text : {u"010-6"_qs, u"01062"_qs, u"(010) 6234"_qs})
        EXPECT_EQ(run(withBooks() << text).out, u"王建国\t010-62345678\t\t\n"_qs) << text.toStdString();
    for (const QString& text : {u"+86 138"_qs, u"138 0013"_qs, u"13800138000"_qs})
        EXPECT_EQ(run(withBooks() << u"--"_qs << text).out, u"李娜\t\t\t+86 138 0013 8000\n"_qs) << text.toStdString();
}

TEST_F(Lookup, Utf16BooksInBothByteOrders) {
    QStringEncoder little(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    QStringEncoder big(QStringConverter::Utf16BE, QStringEncoder::Flag::WriteBom);
    TestSupport::writeFile(path("mine.txt"), little(u"张三\tzs\t8002\t13900000002\t302\r\n"_qs));
    TestSupport::writeFile(path("all.txt"), big(u"赵四\tZS\t8003\t13900000003\t303\r\n"_qs));
    const Result r = run(withBooks() << u"zs"_qs);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, u"张三\t8002\t302\t13900000002\n赵四\t8003\t303\t13900000003\n"_qs);
}

TEST(LookupSearch, FindsWhatTheWindowFindsInTheWindowsOrder) {
    // Random books, one in UTF-8 with letters whose case is tricky (İ grows
    // when lower-cased, 𐐀 is a surrogate pair), one in code page 936 with
    // Greek and full-width letters; the look-up must list exactly the rows the
    // window's rule finds, in the window's order.
    QTemporaryDir dir;
    const QString names = u"张章三李娜王Σσ ＡａAaZzİi𐐀𐐨"_qs;
    const QString legacy = u"张章三李娜王Σσ ＡａAaZz"_qs;
    QRandomGenerator rng(2024);
    const auto pick = [&rng](const QString& from, int most) {
        QString out;
        for (int n = int(rng.bounded(most + 1)); n > 0; --n) {
            const qsizetype at = qsizetype(rng.bounded(int(from.size())));
            out += from.at(at);
            if (from.at(at).isHighSurrogate())
                out += from.at(at + 1);
        }
        return out.trimmed();
    };
    QStringList fields;
    const auto book = [&](const QString& alphabet) {
        QString text;
        for (int i = 0; i < 300; ++i) {
            const QStringList line{pick(alphabet, 3), pick(u"zsZSİl"_qs, 3), pick(u"0189"_qs, 4),
                                   u"13"_qs + pick(u"0189"_qs, 3), pick(u"0189a"_qs, 3)};
            fields << line;
            text += line.join(u'\t') + u"\r\n"_qs;
        }
        return text;
    };
    TestSupport::writeFile(dir.filePath(u"mine.txt"_qs), book(names).toUtf8());
    TestSupport::writeFile(dir.filePath(u"all.txt"_qs), TestSupport::gbk(book(legacy)));

    ScriptedDialogs dialogs;
    ManApp app(&dialogs);
    app.LoadManItems(dir.filePath(u"mine.txt"_qs), dir.filePath(u"all.txt"_qs));
    Directory window;
    window.Load(app.ManItems());
    window.Search(QString());

    QStringList texts{u""_qs,  u"z"_qs,       u" ZS "_qs, u"张"_qs,     u"σ"_qs,  u"Σ"_qs,   u"ａ"_qs, u"i"_qs,
                      u"İ"_qs, u"i\u0307"_qs, u"𐐨"_qs,    u"\xD801"_qs, u"80"_qs, u"139"_qs, u"0"_qs,  u"8a"_qs};
    for (int i = 0; i < 60; ++i) {
        const QString& field = fields.at(qsizetype(rng.bounded(int(fields.size()))));
        texts << (rng.bounded(2) ? field.toUpper() : field).left(qsizetype(rng.bounded(4)) + 1);
    }
    const auto row = [](const ManItem& e) { return QStringList{e.FullName(), e.ExtTelNo(), e.RoomNo(), e.MobilNo()}; };
    for (const QString& text : texts) {
        const QString s = Directory::SearchText(text);
        const bool digits =
            !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c.isDigit() && c < u'\x80'; });
        std::vector<QStringList> expected;
        for (int r = 0; r < window.Count(); ++r) {
            const ManItem& e = window.Match(r);
            if (Directory::Matches(e, s) ||
                (digits && (e.ExtTelNo().startsWith(s) || e.MobilNo().startsWith(s) || e.RoomNo().startsWith(s))))
                expected.push_back(row(e));
        }
        const Lookup::Result found =
            Lookup::Find(text, dir.filePath(u"mine.txt"_qs), dir.filePath(u"all.txt"_qs), dialogs);
        std::vector<QStringList> got;
        for (const auto& e : found.rows)
            got.push_back(row(*e));
        EXPECT_EQ(got, expected) << text.toStdString();
    }
    EXPECT_TRUE(dialogs.messages.empty());
}
