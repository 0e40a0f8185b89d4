#include "ScriptedDialogs.h"
#include "TestSupport.h"
#include "phonebook/BookReader.h"
#include "phonebook/Initials.h"
#include "phonebook/ManApp.h"
#include "toolkit/Toolkit.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <thread>

using TestSupport::gbk;
using TestSupport::writeFile;

namespace {

struct Row {
    QString full, shortName, ext, mobil, room;
    bool operator==(const Row&) const = default;
};

void PrintTo(const Row& r, std::ostream* os) {
    *os << QStringList{r.full, r.shortName, r.ext, r.mobil, r.room}.join(u'|').toStdString();
}

std::vector<Row> rows(ManItems& items) {
    std::vector<Row> out;
    for (const auto& e : items)
        out.push_back({e->FullName(), e->ShortName(), e->ExtTelNo(), e->MobilNo(), e->RoomNo()});
    return out;
}

// The line rules written out step by step with the cutting helper, as the
// format is defined; the fast reader must agree with it on every line.
bool referenceParse(QString line, Row& row) {
    if (line.startsWith(u'\''))
        return false;
    if (!line.startsWith(u'\t'))
        line.prepend(u'\t');
    if (!line.endsWith(u'\t'))
        line.append(u'\t');
    QString* fields[] = {&row.full, &row.shortName, &row.ext, &row.mobil, &row.room};
    for (QString* f : fields) {
        *f = Toolkit::GetBetween(line, QStringLiteral("\t"), QStringLiteral("\t"), true);
        while (f->startsWith(u' ') || f->startsWith(QChar(0x3000)))
            f->remove(0, 1);
        while (f->endsWith(u' ') || f->endsWith(QChar(0x3000)))
            f->chop(1);
        line.prepend(u'\t');
    }
    return !row.full.isEmpty();
}

class Loader : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    std::vector<Row> load(const QByteArray& bytes) {
        writeFile(path("book.txt"), bytes);
        ManItems items;
        QString error;
        EXPECT_TRUE(BookReader::Read(path("book.txt"), items, error)) << error.toStdString();
        return rows(items);
    }
    QTemporaryDir dir;
};

} // namespace

TEST_F(Loader, FieldsInFileOrderWithMissingOnesEmpty) {
    const auto r = load(gbk(QStringLiteral("张三\tzs\t8001\r\n")));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], (Row{QStringLiteral("张三"), QStringLiteral("zs"), QStringLiteral("8001"), {}, {}}));
    const auto full = load(gbk(QStringLiteral("李四\tls\t8002\t13900000000\t302\textra\r\n")));
    ASSERT_EQ(full.size(), 1u);
    EXPECT_EQ(full[0], (Row{QStringLiteral("李四"), QStringLiteral("ls"), QStringLiteral("8002"),
                            QStringLiteral("13900000000"), QStringLiteral("302")}));
}

TEST_F(Loader, OptionalTabsAtBothEndsAndTrimming) {
    const Row expected{QStringLiteral("Name1"), QStringLiteral("nm"), QStringLiteral("8001"), {}, {}};
    for (const char* line : {"Name1\tnm\t8001", "\tName1\tnm\t8001", "Name1\tnm\t8001\t", "\tName1\tnm\t8001\t",
                             "  Name1  \t nm \t8001"}) {
        const auto r = load(QByteArray(line) + "\r\n");
        ASSERT_EQ(r.size(), 1u) << line;
        EXPECT_EQ(r[0], expected) << line;
    }
    // Ideographic spaces are blanks too.
    const auto wide = load(QStringLiteral("　王五　\twW\r\n").toUtf8());
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].full, QStringLiteral("王五"));
}

TEST_F(Loader, SkipsCommentsAndLinesWithoutAName) {
    const auto r = load(gbk(QStringLiteral("'姓名\t缩写\r\n\r\n   \r\n\t\tzs\t1\r\n \'Name1\tx\r\n")));
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].full, QStringLiteral("'Name1"));
    EXPECT_TRUE(load(QByteArray()).empty());
    EXPECT_TRUE(load("'only a comment\r\n'and another").empty());
}

TEST_F(Loader, AllThreeLineEndingsAndALastLineWithoutBreak) {
    for (const char* sep : {"\r\n", "\n", "\r"}) {
        const QByteArray s(sep);
        const auto r = load(gbk(QStringLiteral("甲\ta")) + s + gbk(QStringLiteral("乙\tb")) + s + s +
                            gbk(QStringLiteral("丙\tc")));
        ASSERT_EQ(r.size(), 3u);
        EXPECT_EQ(r[0].full, QStringLiteral("甲"));
        EXPECT_EQ(r[1].shortName, QStringLiteral("b"));
        EXPECT_EQ(r[2].full, QStringLiteral("丙"));
    }
    const auto mixed = load("a\r\nb\nc\rd\n\re");
    EXPECT_EQ(mixed.size(), 5u);
}

TEST_F(Loader, Utf8BooksAreRecognisedAndTheMarkDropped) {
    const QString text = QStringLiteral("张三\tzs\r\n");
    const auto plain = load(text.toUtf8());
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].full, QStringLiteral("张三"));
    const auto marked = load(QByteArray("\xEF\xBB\xBF") + text.toUtf8());
    ASSERT_EQ(marked.size(), 1u);
    EXPECT_EQ(marked[0].full, QStringLiteral("张三"));
    // Code page 936 text stays 936, even where its first bytes happen to be valid UTF-8.
    const auto legacy = load(gbk(QStringLiteral("Ab\r\n张三\tzs\r\n")));
    ASSERT_EQ(legacy.size(), 2u);
    EXPECT_EQ(legacy[1].full, QStringLiteral("张三"));
}

TEST_F(Loader, MultibyteCharactersSplitAcrossReadBlocks) {
    // Push a two-byte character across every offset near the 64 KiB block edge.
    for (int pad = 65530; pad < 65540; ++pad) {
        QByteArray bytes = "'" + QByteArray(pad - 3, 'x') + "\r\n";
        bytes += gbk(QStringLiteral("欧阳\toy\r\n"));
        const auto r = load(bytes);
        ASSERT_EQ(r.size(), 1u) << pad;
        EXPECT_EQ(r[0].full, QStringLiteral("欧阳")) << pad;
    }
    // The same for a CR at the end of a block followed by its LF.
    QByteArray crlf = "a" + QByteArray(65534, ' ') + "\r\nb\tx\r\n";
    EXPECT_EQ(load(crlf).size(), 2u);
}

TEST_F(Loader, BadBytesNeverLoseALine) {
    // Invalid sequences in both encodings, NUL bytes and a huge line.
    const auto r = load(QByteArray("\x81 bad\tx\r\nnul\0in\tx\r\nok\ty\x81", 24));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_TRUE(r[0].full.contains(QChar(0xFFFD)));
    EXPECT_EQ(r[1].full, QString::fromLatin1("nul\0in", 6));
    EXPECT_EQ(r[2].full, QStringLiteral("ok"));
    EXPECT_EQ(r[2].shortName, QStringLiteral("y\uFFFD")); // an incomplete last character is not dropped
    const auto broken = load(QByteArray("\xE5\xBC\xA0\xE4\tzs\r\n张三"));
    EXPECT_EQ(broken.size(), 2u);

    QByteArray huge(8 * 1024 * 1024, 'n');
    huge += "\tlong\r\nnext\tn";
    const auto big = load(huge);
    ASSERT_EQ(big.size(), 2u);
    EXPECT_EQ(big[0].full.size(), 8 * 1024 * 1024);
    EXPECT_EQ(big[1].full, QStringLiteral("next"));
}

TEST_F(Loader, AgreesWithTheStepByStepRulesOnRandomLines) {
    QRandomGenerator rng(20261207);
    const QString alphabet = QStringLiteral("\t\t\t  　'a张");
    for (int i = 0; i < 3000; ++i) {
        QString line;
        const int len = int(rng.bounded(12));
        for (int k = 0; k < len; ++k)
            line += alphabet.at(int(rng.bounded(alphabet.size())));
        Row expected;
        const bool expectEntry = referenceParse(line, expected);
        BookReader::Fields got;
        ASSERT_EQ(BookReader::ParseLine(line, got), expectEntry) << line.toStdString();
        if (expectEntry) {
            EXPECT_EQ((Row{got.FullName.toString(), got.ShortName.toString(), got.ExtTelNo.toString(),
                           got.MobilNo.toString(), got.RoomNo.toString()}),
                      expected)
                << line.toStdString();
        }
    }
}

TEST_F(Loader, Utf16BooksInBothByteOrders) {
    // What a spreadsheet's "Unicode text" export gives: a mark, TABs, CR LF.
    const QString text = QStringLiteral("'姓名\t缩写\t分机\r\n　张三 \tzs\t8001\t13900000000\t302\r\n\t李四\tls\r\n");
    const std::vector<Row> expected{{QStringLiteral("张三"), QStringLiteral("zs"), QStringLiteral("8001"),
                                     QStringLiteral("13900000000"), QStringLiteral("302")},
                                    {QStringLiteral("李四"), QStringLiteral("ls"), {}, {}, {}}};
    for (const auto order : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        QStringEncoder encoder(order, QStringEncoder::Flag::WriteBom);
        const QByteArray bytes = encoder(text);
        EXPECT_EQ(load(bytes), expected) << int(order);
        // An odd last byte is half a character: it shows as U+FFFD, and nothing is lost.
        const auto odd = load(bytes + encoder(u"王五") + QByteArray(1, '\x41'));
        ASSERT_EQ(odd.size(), 3u);
        EXPECT_EQ(odd[2].full, QStringLiteral("王五\uFFFD"));
    }
}

TEST_F(Loader, Cp936BooksReadAsTheCodecDecodesThem) {
    // Random books from bytes that stress the code page: lead bytes with good
    // and bad trails (an ASCII letter can be a trail), €, 0xFF, ideographic
    // spaces, and breaks and TABs anywhere, across read blocks. The reader
    // must give exactly what decoding the whole file and cutting it into
    // lines gives.
    const QByteArray pieces[] = {"\t",       "\r\n",     "\n",       "\r",       " ",        "'",
                                 "a",        "Z",        "8",        "\x80",     "\xFF",     "\x81",
                                 "\xA1\xA1", "\xD5\xC5", "\xC8\xFD", "\x81\x40", "\xB0\x41", "\xFE\x7F",
                                 "\xA2\xA1", "\xA3\xC1", "\xAA\xA1", "\x81\x30", "\x81\r",   "\x00"};
    QRandomGenerator rng(936);
    for (int round = 0; round < 40; ++round) {
        QByteArray bytes;
        const int size = round < 30 ? int(rng.bounded(400)) : 70000 + int(rng.bounded(70000));
        while (bytes.size() < size)
            bytes += pieces[rng.bounded(int(std::size(pieces)))];
        if (bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
            bytes.prepend('x');

        QStringDecoder decoder("GBK");
        QString text = decoder(bytes);
        text += decoder(QByteArrayView("\n", 1)); // ends the last line and a character left open
        const bool nonAscii = std::any_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
        if (nonAscii && QString::fromUtf8(bytes).toUtf8() == bytes)
            continue; // valid UTF-8 throughout: read as UTF-8
        std::vector<Row> expected;
        const QString breaks = QStringLiteral("\r\n");
        qsizetype at = 0;
        while (at < text.size()) {
            qsizetype br = at;
            while (!breaks.contains(text.at(br)))
                ++br;
            Row row;
            if (referenceParse(text.mid(at, br - at), row)) {
                if (row.shortName.isEmpty())
                    row.shortName = Initials::Of(row.full);
                expected.push_back(row);
            }
            at = br + (text.mid(br, 2) == breaks ? 2 : 1);
        }
        const auto got = load(bytes);
        ASSERT_EQ(got.size(), expected.size()) << round;
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], expected[i]) << round << " line " << i;
    }
}

TEST_F(Loader, AFilterKeepsOnlyWhatItAccepts) {
    writeFile(path("book.txt"), gbk(QStringLiteral("张三\tzs\t8001\r\n李四\tls\t8002\r\n张伟\tzw\t8003")));
    ManItems items;
    QString error;
    std::vector<QString> seen;
    const auto keep = [&seen](const BookReader::Fields& f) {
        seen.push_back(f.ExtTelNo.toString());
        return f.ShortName.startsWith(u'z');
    };
    ASSERT_TRUE(BookReader::Read(path("book.txt"), items, error, keep));
    EXPECT_EQ(seen, (std::vector<QString>{u"8001"_qs, u"8002"_qs, u"8003"_qs}));
    const auto r = rows(items);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].full, QStringLiteral("张三"));
    EXPECT_EQ(r[1], (Row{QStringLiteral("张伟"), QStringLiteral("zw"), QStringLiteral("8003"), {}, {}}));
}

TEST_F(Loader, BooksFromPipesAndDevices) {
#ifdef _WIN32
    GTEST_SKIP() << "named FIFOs and /dev/null are Unix's";
#else
    // Nothing to rewind after the look-ahead: such a book is read whole first.
    ManItems items;
    QString error;
    EXPECT_TRUE(BookReader::Read(QStringLiteral("/dev/null"), items, error)) << error.toStdString();
    const QByteArray fifo = QFile::encodeName(path("fifo"));
    ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
    std::thread writer([&fifo] {
        QFile pipe(QFile::decodeName(fifo));
        if (pipe.open(QIODevice::WriteOnly))
            pipe.write(gbk(QStringLiteral("张三\tzs\r\n李四\tls\r\n")));
    });
    EXPECT_TRUE(BookReader::Read(QFile::decodeName(fifo), items, error)) << error.toStdString();
    writer.join();
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Item(2)->FullName(), QStringLiteral("李四"));
#endif
}

TEST_F(Loader, BothBooksMissingShowTwoMessagesPrivateFirst) {
    ScriptedDialogs dialogs;
    ManApp app(&dialogs);
    EXPECT_EQ(app.LoadManItems(path("PrivateTel.txt"), path("PublicTel.txt")), 2);
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("初始化本地电话簿错误：")));
    EXPECT_TRUE(dialogs.messages[0].text.endsWith(u'(' + path("PrivateTel.txt") + u')'));
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(QStringLiteral("初始化公共电话簿错误：")));
    EXPECT_TRUE(dialogs.messages[1].text.endsWith(u'(' + path("PublicTel.txt") + u')'));
    for (const auto& m : dialogs.messages) {
        EXPECT_EQ(m.title, QStringLiteral("Lumeo电话簿"));
        EXPECT_EQ(m.icon, Dialogs::Icon::Error);
    }
    EXPECT_EQ(app.ManItems()->Count(), 0);
    EXPECT_FALSE(QFile::exists(path("PrivateTel.txt"))); // a missing book is never created
}

TEST_F(Loader, PrivateEntriesComeFirstAndReloadReplaces) {
    writeFile(path("priv.txt"), gbk(QStringLiteral("张三\tzs\t1\r\n")));
    writeFile(path("pub.txt"), gbk(QStringLiteral("李四\tls\t2\r\n张三\tzs\t1\r\n")));
    ScriptedDialogs dialogs;
    ManApp app(&dialogs);
    app.LoadManItems(path("priv.txt"), path("pub.txt"));
    const auto before = app.ManItems();
    EXPECT_EQ(before->Count(), 3);
    EXPECT_EQ(before->Item(1)->ExtTelNo(), QStringLiteral("1"));
    EXPECT_EQ(before->Item(2)->FullName(), QStringLiteral("李四"));
    app.LoadManItems(path("priv.txt"), path("pub.txt"));
    EXPECT_NE(app.ManItems(), before);
    EXPECT_EQ(rows(*app.ManItems()), rows(*before));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Loader, OnlyTheUnreadableBookIsReported) {
    writeFile(path("pub.txt"), gbk(QStringLiteral("李四\tls\r\n")));
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    ScriptedDialogs dialogs;
    ManApp app(&dialogs);
    EXPECT_EQ(app.LoadManItems(path("folder"), path("pub.txt")), 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("初始化本地电话簿错误：")));
    EXPECT_EQ(app.ManItems()->Count(), 1);
    // A path through a plain file fails even for root.
    EXPECT_EQ(app.LoadManItems(path("pub.txt"), path("pub.txt/x")), 1);
    EXPECT_TRUE(dialogs.messages.back().text.startsWith(QStringLiteral("初始化公共电话簿错误：")));
    EXPECT_EQ(app.ManItems()->Count(), 1);
}

// Books that leave the initials out (or some of them) are found by initials too.
TEST_F(Loader, InitialsMadeFromNamesWhereTheBookGivesNone) {
    const QString book = u"'姓名\t缩写\t分机\r\n"
                         u"张三\r\n"
                         u"单雄信\t\t8001\t13900000001\t301\r\n" // a surname reading: shàn, not dān
                         u"曾凡\t \t8002\r\n"
                         u"单位总机\t\t8000\r\n" // four characters: not a person
                         u"乐正文华\r\n"         // but four after a compound surname
                         u"曾经沧海横流\r\n"
                         u"王Amy2号\r\n"
                         u"Ｌｉ·小龙（北京）\r\n"
                         u"李四\tLS\t8003\r\n" // written ones are kept as written
                         u"查良镛\tchly\r\n"_qs;
    const std::vector<Row> expected{
        {u"张三"_qs, u"zs"_qs, {}, {}, {}},         {u"单雄信"_qs, u"sxx"_qs, u"8001"_qs, u"13900000001"_qs, u"301"_qs},
        {u"曾凡"_qs, u"zf"_qs, u"8002"_qs, {}, {}}, {u"单位总机"_qs, u"dwzj"_qs, u"8000"_qs, {}, {}},
        {u"乐正文华"_qs, u"yzwh"_qs, {}, {}, {}},   {u"曾经沧海横流"_qs, u"cjchhl"_qs, {}, {}, {}},
        {u"王Amy2号"_qs, u"wAmy2h"_qs, {}, {}, {}}, {u"Ｌｉ·小龙（北京）"_qs, u"Lixlbj"_qs, {}, {}, {}},
        {u"李四"_qs, u"LS"_qs, u"8003"_qs, {}, {}}, {u"查良镛"_qs, u"chly"_qs, {}, {}, {}},
    };
    // Code page 936 is decoded straight into the entries; the others go through the codec.
    EXPECT_EQ(load(gbk(book)), expected);
    EXPECT_EQ(load(book.toUtf8()), expected);
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    EXPECT_EQ(load(utf16(book)), expected);

    // Outside the BMP: 𠀀 hē has a reading, 𠮷 none.
    EXPECT_EQ(load(u"张\U00020000\U00020BB7三\r\n"_qs.toUtf8()).at(0).shortName, u"zhs"_qs);
    // A name of nothing that makes initials keeps them empty.
    EXPECT_EQ(load(gbk(u"——\t\t1\r\n"_qs)), (std::vector<Row>{{u"——"_qs, {}, u"1"_qs, {}, {}}}));
}

TEST(Initials, TheSameFromThreadsFillingTheTableAtOnce) {
    // Characters no other case asks for, so both threads find them unknown.
    QString names;
    for (char16_t c = 0x7000; c < 0x8000; ++c)
        names += QChar(c);
    const auto make = [&names](QString& out) {
        for (qsizetype i = 0; i < names.size(); ++i)
            out += Initials::Of(QStringView(names).sliced(i, 1));
    };
    QString first;
    QString second;
    std::thread other([&] { make(second); });
    make(first);
    other.join();
    EXPECT_EQ(first, second);
    EXPECT_GT(first.size(), 4000); // most of them have a reading
    EXPECT_EQ(Initials::Of(u"爱立信"_qs), u"alx"_qs);
}
