#include "TestSupport.h"
#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>

namespace {

struct Person {
    const char16_t* fullName;
    const char16_t* shortName;
    const char16_t* ext = u"";
    const char16_t* mobile = u"";
    const char16_t* room = u"";
};

std::shared_ptr<ManItems> book(std::initializer_list<Person> people) {
    auto items = std::make_shared<ManItems>();
    for (const auto& p : people)
        items->Add(QString::fromUtf16(p.fullName), QString::fromUtf16(p.shortName), QString::fromUtf16(p.ext),
                   QString::fromUtf16(p.mobile), QString::fromUtf16(p.room));
    return items;
}

// "name" or "name/ext" per match, in list order.
QString found(Directory& directory, const QString& boxText) {
    directory.Search(boxText);
    QStringList out;
    for (int row = 0; row < directory.Count(); ++row) {
        const ManItem& e = directory.Match(row);
        out << (e.ExtTelNo().isEmpty() ? e.FullName() : e.FullName() + u'/' + e.ExtTelNo());
    }
    return out.join(u',');
}

// Positions in name order of the entries the rule as written finds for the box's text.
QList<int> byTheRule(const Directory& directory, const QString& boxText) {
    const QString s = Directory::SearchText(boxText);
    QList<int> out;
    for (int i = 0; i < directory.Size(); ++i)
        if (Directory::Matches(directory.Sorted(i), s))
            out << i;
    return out;
}

} // namespace

TEST(Search, PrefixOfShortNameOrFullNameIgnoringCase) {
    Directory d;
    d.Load(book({{u"张三", u"zs"}, {u"赵四", u"ZS"}, {u"李四", u"ls"}, {u"Zsolt", u"x"}}));
    EXPECT_EQ(found(d, u"zs"_qs), u"张三,赵四,Zsolt"_qs);
    EXPECT_EQ(found(d, u"ZS"_qs), u"张三,赵四,Zsolt"_qs);
    EXPECT_EQ(found(d, u"z"_qs), u"张三,赵四,Zsolt"_qs);
    EXPECT_EQ(found(d, u"张"_qs), u"张三"_qs);
    EXPECT_EQ(found(d, u"张三"_qs), u"张三"_qs);
    // Prefix, not substring.
    EXPECT_EQ(found(d, u"s"_qs), QString());
    EXPECT_EQ(found(d, u"三"_qs), QString());
    // Longer than the field never matches on it.
    EXPECT_EQ(found(d, u"zsx"_qs), QString());
    EXPECT_EQ(found(d, u"张三丰"_qs), QString());
}

TEST(Search, OnlyBlanksAtTheEndsAreIgnored) {
    Directory d;
    d.Load(book({{u"张三", u"zs"}, {u"Z Smith", u"q"}, {u"王五", u"ww"}}));
    EXPECT_EQ(found(d, u"  zs  "_qs), u"张三"_qs);
    EXPECT_EQ(found(d, u" "_qs), u"王五,张三,Z Smith"_qs);
    EXPECT_EQ(found(d, QString()), u"王五,张三,Z Smith"_qs);
    // The inner blank is searched for.
    EXPECT_EQ(found(d, u"z s"_qs), u"Z Smith"_qs);
    // Tabs and ideographic spaces are text, not blanks.
    EXPECT_EQ(found(d, u"\tzs"_qs), QString());
    EXPECT_EQ(found(d, u"\u3000zs"_qs), QString());
}

TEST(Search, EachEntryAtMostOnceAndDuplicateNamesTwice) {
    Directory d;
    d.Load(book({{u"zs", u"zs", u"1"}, {u"张三", u"zs", u"2"}, {u"张三", u"zs", u"3"}, {u"", u"", u"4"}}));
    EXPECT_EQ(found(d, u"zs"_qs), u"张三/2,张三/3,zs/1"_qs);
    // An entry with both fields empty turns up for the empty text only.
    EXPECT_EQ(d.Search(u" "_qs), 4);
    EXPECT_EQ(found(d, u"a"_qs), QString());
}

TEST(Search, PinyinOrderWithBookOrderForEqualNames) {
    Directory d;
    d.Load(book({{u"张伟", u"zw", u"1"},
                 {u"赵磊", u"zl"},
                 {u"李娜", u"ln"},
                 {u"张伟", u"zw", u"2"},
                 {u"阿明", u"am"},
                 {u"王芳", u"wf"},
                 {u"张伟", u"zw", u"3"}}));
    EXPECT_EQ(found(d, QString()), u"阿明,李娜,王芳,张伟/1,张伟/2,张伟/3,赵磊"_qs);
    // A narrowed list keeps the same order.
    EXPECT_EQ(found(d, u"z"_qs), u"张伟/1,张伟/2,张伟/3,赵磊"_qs);
}

TEST(Search, FastMatchAgreesWithTheRuleAsWritten) {
    // Letters whose lower case is longer (İ), pairs that a cut would split,
    // letters outside the BMP that have a lower case (Deseret), and Greek.
    const QStringList fields = {
        u"İstanbul"_qs, u"\U00020000\U00020001x"_qs, u"\U00010400\U00010401"_qs, u"ΣΟΦΙΑ"_qs, u"aİb"_qs, u"Zhang"_qs,
        QString()};
    auto items = std::make_shared<ManItems>();
    for (const QString& a : fields)
        for (const QString& b : fields)
            items->Add(a, b, QString(), QString(), QString());
    // Enough others that a rare text and a common one take different paths.
    for (int i = 0; i < 2000; ++i)
        items->Add(u"填充%1"_qs.arg(i), u"Tc%1"_qs.arg(i % 7), QString(), QString(), QString());
    Directory d;
    d.Load(items);

    QStringList texts = {u"i"_qs, u"İ"_qs, u"i\u0307"_qs, u"ai"_qs, u"σ"_qs, u"ΣΟ"_qs, u"t"_qs, u"TC3"_qs, u"填充2"_qs};
    for (const QString& f : fields)
        for (qsizetype n = 0; n <= f.size(); ++n) {
            texts << f.left(n) << f.left(n).toLower() << f.left(n).toUpper();
        }
    texts << texts; // each search must leave nothing behind for the next
    for (const QString& text : texts) {
        const QList<int> expected = byTheRule(d, text);
        d.Search(text);
        const QList<int> actual(d.Matches().begin(), d.Matches().end());
        EXPECT_EQ(actual, expected) << text.toStdString();
    }
}

TEST(Search, ReloadReplacesTheEntriesAndOldOnesStayValid) {
    Directory d;
    auto first = book({{u"张三", u"zs"}});
    d.Load(first);
    ASSERT_EQ(d.Search(QString()), 1);
    const ManItem* held = &d.Match(0);
    first.reset(); // the loader dropped its collection; the directory still holds it
    EXPECT_EQ(held->FullName(), u"张三"_qs);

    d.Load(book({{u"李四", u"ls"}, {u"王五", u"ww"}}));
    EXPECT_EQ(d.Count(), 0); // matches belong to the old load
    EXPECT_EQ(found(d, QString()), u"李四,王五"_qs);
    d.Load(nullptr);
    EXPECT_EQ(d.Search(QString()), 0);
}

TEST(Search, InitialsMadeFromTheNamesOfABookWithoutThem) {
    QTemporaryDir dir;
    const QString mine = dir.filePath(u"mine.txt"_qs);
    const QString all = dir.filePath(u"all.txt"_qs);
    TestSupport::writeFile(mine, TestSupport::gbk(u"赵四\tzs\t8003\r\n"_qs));
    TestSupport::writeFile(all, TestSupport::gbk(u"张三\t\t8001\r\n曾凡\t\t8002\r\n单位总机\t\t8000\r\n"_qs));
    ManApp app;
    app.LoadManItems(mine, all);
    Directory d;
    d.Load(app.ManItems());
    EXPECT_EQ(found(d, u"zs"_qs), u"张三/8001,赵四/8003"_qs);
    EXPECT_EQ(found(d, u"z"_qs), u"曾凡/8002,张三/8001,赵四/8003"_qs); // 曾 zēng as a surname
    EXPECT_EQ(found(d, u"dw"_qs), u"单位总机/8000"_qs);
}

TEST(Search, DigitsAlsoFindExtensionMobileAndRoom) {
    Directory d;
    d.Load(book({{u"张三", u"zs", u"8001", u"13712345678", u"702"},
                 {u"李四", u"ls", u"8012", u"13800000000", u"66881000"},
                 {u"王五", u"ww", u"8001", u"", u"8001-2"},
                 {u"赵六", u"80s", u"7000"},
                 {u"阿明", u"am", u"0800"}}));
    // In name order, each entry once; initials that begin with the digits count too.
    EXPECT_EQ(found(d, u"8"_qs), u"李四/8012,王五/8001,张三/8001,赵六/7000"_qs);
    EXPECT_EQ(found(d, u"  8001 "_qs), u"王五/8001,张三/8001"_qs);
    EXPECT_EQ(found(d, u"8001-"_qs), u"王五/8001,张三/8001"_qs); // a separator as numbers are written
    EXPECT_EQ(found(d, u"137"_qs), u"张三/8001"_qs);
    EXPECT_EQ(found(d, u"6688"_qs), u"李四/8012"_qs);
    EXPECT_EQ(found(d, u"70"_qs), u"张三/8001,赵六/7000"_qs); // room 702, extension 7000
    EXPECT_EQ(found(d, u"0"_qs), u"阿明/0800"_qs);
    // Prefixes only, and only ASCII digits.
    EXPECT_EQ(found(d, u"001"_qs), QString());
    EXPECT_EQ(found(d, u"80 01"_qs), u"王五/8001,张三/8001"_qs);
    EXPECT_EQ(found(d, u"\uFF18\uFF10"_qs), QString()); // full-width 80
}

TEST(Search, NumbersAreFoundAsPeopleWriteThem) {
    Directory d;
    d.Load(book({{u"王建国", u"wjg", u"010-62345678"},
                 {u"李娜", u"ln", u"", u"+86 138 0013 8000"},
                 {u"陈静", u"cj", u"", u"", u"(021) 5555.1234"},
                 {u"周强", u"zq", u"8001", u"+8613900001111", u"A302"},
                 {u"吴敏", u"wm", u"", u"+1-212-555-0100"}}));
    // The digits of the text against the digits of each number.
    for (const char16_t* text : {u"010-6", u"01062", u"010 6234 5678", u"(010)62", u"010.62345678"})
        EXPECT_EQ(found(d, QString::fromUtf16(text)), u"王建国/010-62345678"_qs)
            << QString::fromUtf16(text).toStdString();
    // An international number also by its national part.
    for (const char16_t* text : {u"+86 138", u"86138", u"138 0013", u"13800138000", u"13800"})
        EXPECT_EQ(found(d, QString::fromUtf16(text)), u"李娜"_qs) << QString::fromUtf16(text).toStdString();
    EXPECT_EQ(found(d, u"212-555"_qs), u"吴敏"_qs);
    EXPECT_EQ(found(d, u"021 5555 12"_qs), u"陈静"_qs);
    EXPECT_EQ(found(d, u"010"_qs), u"王建国/010-62345678"_qs); // digits alone as before
    // Country code and number written together: where the national part begins is unknown.
    EXPECT_EQ(found(d, u"+86139"_qs), u"周强/8001"_qs);
    EXPECT_EQ(found(d, u"139"_qs), QString());
    // Letters in a number stay: A302 is not found by 302; nor is a text without digits a number.
    EXPECT_EQ(found(d, u"302"_qs), QString());
    EXPECT_EQ(found(d, u"-"_qs), QString());
    EXPECT_EQ(found(d, u"( )"_qs), QString());
    EXPECT_EQ(found(d, u"0106x"_qs), QString());
    // The indexes answer what the rule says, entry by entry.
    for (const char16_t* text : {u"010-6", u"138 0013", u"+1 212", u"212", u"8", u"0"}) {
        const QList<int> expected = byTheRule(d, QString::fromUtf16(text));
        d.Search(QString::fromUtf16(text));
        EXPECT_EQ(QList<int>(d.Matches().begin(), d.Matches().end()), expected);
    }
}

TEST(Search, NumberIndexAgreesWithTheRuleAsWritten) {
    // Numbers with separators, letters and blanks, and long ones that share
    // their first digits, so the index's keys leave ties to the texts.
    std::mt19937 random(5);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const QString alphabet = u"0123456789-+ x/()."_qs;
    const auto number = [&] {
        QString out;
        if (pick(4) == 0) {
            for (int i = 0, n = 14 + pick(8); i < n; ++i)
                out += QChar(pick(8) == 0 ? u'1' : u'0');
            return out;
        }
        for (int i = 0, n = pick(13); i < n; ++i)
            out += alphabet.at(pick(4) == 0 ? pick(int(alphabet.size())) : pick(3));
        return out;
    };
    auto items = std::make_shared<ManItems>();
    for (int i = 0; i < 3000; ++i)
        items->Add(u"名%1"_qs.arg(i), u"m"_qs, number(), number(), number());
    Directory d;
    d.Load(items);
    for (int k = 0; k < 400; ++k) {
        QString text = pick(2) ? number() : d.Sorted(pick(d.Size())).MobilNo();
        text.truncate(pick(22) + 1);
        const QList<int> expected = byTheRule(d, text);
        d.Search(text);
        EXPECT_EQ(QList<int>(d.Matches().begin(), d.Matches().end()), expected) << text.toStdString();
    }
}

TEST(Search, LargeBookRightAfterLoadAndReload) {
    // Large enough that the indexes are built on their own thread: the full
    // list comes at once, a search waits for them (on another thread than the
    // load's), a reload or the end of the directory in the middle of the build is safe.
    std::mt19937 random(9);
    const auto make = [&](int count) {
        auto items = std::make_shared<ManItems>();
        for (int i = 0; i < count; ++i) {
            const QString name = QString(QChar(char16_t(0x4E00 + random() % 300))) + QChar(char16_t(0x4E00 + i % 5000));
            items->Add(name, u"z%1"_qs.arg(i % 97), u"8%1"_qs.arg(i % 1000), u"13%1"_qs.arg(i), QString());
        }
        return items;
    };
    const auto items = make(60000);
    {
        Directory abandoned;
        abandoned.Load(make(60000));
    }
    Directory d;
    // Built (and rebuilt) on a worker, searched on this thread, as the window does.
    std::thread worker([&] {
        d.Load(make(60000));
        d.Load(items);
    });
    worker.join();
    EXPECT_EQ(d.Search(QString()), 60000);
    for (const QString& text : {u"z1"_qs, u"812"_qs, u"1359"_qs, QString(QChar(char16_t(0x4E07)))}) {
        const QList<int> expected = byTheRule(d, text);
        EXPECT_EQ(d.Search(text), expected.size()) << text.toStdString();
        EXPECT_FALSE(expected.isEmpty());
    }
}
