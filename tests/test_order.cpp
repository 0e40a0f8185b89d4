#include "phonebook/Initials.h"
#include "phonebook/NameOrder.h"

#include <QCollator>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

namespace {

// Characters from every kind the fast order handles differently: common and
// rare Chinese characters (ranked), surnames of the table, Latin in both
// cases, digits, punctuation and blanks, characters outside the BMP, a
// compatibility ideograph and an ignorable one (left to the collator).
class NameMaker {
public:
    explicit NameMaker(unsigned seed) : m_random(seed) {}

    QString name() {
        if (!m_made.isEmpty() && pick(6) == 0)
            return m_made[qsizetype(pick(unsigned(m_made.size())))]; // the same name again
        QString out;
        const unsigned length = pick(8) == 0 ? 0 : 1 + pick(pick(4) == 0 ? 7 : 3);
        const bool chineseOnly = pick(3) != 0; // most names, as in a real book
        for (unsigned i = 0; i < length; ++i)
            out += character(chineseOnly);
        if (pick(10) == 0)
            out = pick(2) ? out.toUpper() : out.toLower();
        m_made << out;
        return out;
    }

    // Initials that tell one reading or the other, or neither, or none at all.
    QString initials() {
        static const QString letters = u"szdcxjqopylhgwkbmfrtZSD"_qs;
        QString out;
        const unsigned length = pick(4);
        for (unsigned i = 0; i < length; ++i)
            out += pick(4) ? letters.at(qsizetype(pick(unsigned(letters.size())))) : QChar(char16_t(u'a' + pick(26)));
        return out;
    }

private:
    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(m_random); }
    QString character(bool chineseOnly) {
        static const QString common =
            u"张王李赵曾单解仇区朴查翟覃盖葛缪乐召任华增善谢求欧渣宅秦舸妙月邵人陈曹泽伟芳"_qs;
        switch (pick(chineseOnly ? 3 : 9)) {
        case 0:
        case 1:
            return common.at(qsizetype(pick(unsigned(common.size()))));
        case 2:
            return QChar(char16_t(pick(2) ? 0x4E00 + pick(0x9FFF - 0x4E00 + 1) : 0x3400 + pick(0x4DBF - 0x3400 + 1)));
        case 3:
            return QChar(char16_t(u'a' + pick(26)));
        case 4:
            return QChar(char16_t(u'A' + pick(26)));
        case 5:
            return QChar(char16_t(u'0' + pick(10)));
        case 6:
            return QString(u" -·.'_"_qs.at(qsizetype(pick(6))));
        case 7: {
            const char32_t outside[] = {U'\U00020000', U'\U0002A6D6', U'\U0001F600'};
            return QString::fromUcs4(&outside[pick(3)], 1);
        }
        default:
            return QString(u"\uF900\u200B\u8C48"_qs.at(qsizetype(pick(3)))); // 豈 and its unified twin
        }
    }

    std::mt19937 m_random;
    QStringList m_made;
};

std::vector<int> collatorOrder(const std::vector<QStringView>& names, bool surnameReadings,
                               const std::vector<QStringView>& initials = {}) {
    const QCollator collator = NameOrder::Collator();
    std::vector<int> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    const auto name = [&](int i) {
        return NameOrder::Name{names[std::size_t(i)], initials.empty() ? QStringView() : initials[std::size_t(i)]};
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return (surnameReadings ? NameOrder::Compare(collator, name(a), name(b))
                                : collator.compare(name(a).text, name(b).text)) < 0;
    });
    return order;
}

std::vector<int> fastOrder(const std::vector<QStringView>& names, const std::vector<QStringView>& initials = {}) {
    const LargeVector<int> order = NameOrder::Sort(names, initials);
    return std::vector<int>(order.begin(), order.end());
}

QString sorted(const QStringList& names) {
    std::vector<QStringView> views(names.begin(), names.end());
    QStringList out;
    for (const int at : fastOrder(views))
        out << names[at];
    return out.join(u',');
}

// Entries written "name initials" (or the name alone), listed by name.
QString sortedEntries(const QStringList& entries) {
    QStringList names;
    QStringList initials;
    for (const QString& entry : entries) {
        names << entry.section(u' ', 0, 0);
        initials << entry.section(u' ', 1, 1);
    }
    const std::vector<QStringView> nameViews(names.begin(), names.end());
    const std::vector<QStringView> initialViews(initials.begin(), initials.end());
    QStringList out;
    for (const int at : fastOrder(nameViews, initialViews))
        out << entries[at];
    return out.join(u',');
}

} // namespace

TEST(NameOrder, EqualsTheCollatorOnRandomBooks) {
    for (const unsigned seed : {1u, 2u, 3u, 4u}) {
        NameMaker maker(seed);
        QStringList book;
        QStringList initials;        // the same name often with other initials
        QStringList withoutSurnames; // the collator alone decides these
        while (book.size() < 4000) {
            const QString name = maker.name();
            book << name;
            initials << maker.initials();
            if (NameOrder::AsSurnameReads({name, {}}) == name)
                withoutSurnames << name;
        }
        const std::vector<QStringView> all(book.begin(), book.end());
        EXPECT_EQ(fastOrder(all), collatorOrder(all, true)) << "seed " << seed;
        const std::vector<QStringView> theirInitials(initials.begin(), initials.end());
        EXPECT_EQ(fastOrder(all, theirInitials), collatorOrder(all, true, theirInitials)) << "seed " << seed;
        const std::vector<QStringView> plain(withoutSurnames.begin(), withoutSurnames.end());
        EXPECT_EQ(fastOrder(plain), collatorOrder(plain, false)) << "seed " << seed;
    }
}

TEST(NameOrder, EveryRankedCharacterWhereTheCollatorPutsIt) {
    QStringList book;
    for (char16_t c = 0x3400; c <= 0x4DBF; ++c)
        book << QString(QChar(c));
    for (char16_t c = 0x4E00; c != 0xA000; ++c)
        book << QString(QChar(c));
    std::shuffle(book.begin(), book.end(), std::mt19937(7));
    const std::vector<QStringView> names(book.begin(), book.end());
    EXPECT_EQ(fastOrder(names), collatorOrder(names, true));
}

TEST(NameOrder, SurnamesSortByTheirSurnameReading) {
    // 曾 zēng among the zeng names (not céng, between 曹 and 陈); 单 shàn after
    // 山 shān; 解 xiè among xie (after 金 jīn, not jiě before it).
    EXPECT_EQ(sorted({u"张伟"_qs, u"曾凡"_qs, u"陈静"_qs, u"曹操"_qs, u"增强"_qs, u"泽民"_qs}),
              u"曹操,陈静,泽民,曾凡,增强,张伟"_qs);
    EXPECT_EQ(sorted({u"尚文"_qs, u"单田芳"_qs, u"山本"_qs, u"丹青"_qs}), u"丹青,山本,单田芳,尚文"_qs);
    EXPECT_EQ(sorted({u"解晓东"_qs, u"金庸"_qs, u"谢霆锋"_qs, u"姐姐"_qs}), u"姐姐,金庸,谢霆锋,解晓东"_qs);
    EXPECT_EQ(sorted({u"欧阳"_qs, u"区华"_qs, u"曲波"_qs, u"朴树"_qs, u"瓢泼"_qs, u"浦发"_qs}),
              u"区华,欧阳,瓢泼,朴树,浦发,曲波"_qs);
    // Only a name's first character is a surname.
    EXPECT_EQ(sorted({u"王东"_qs, u"王曾"_qs, u"王策"_qs}), u"王策,王曾,王东"_qs);
    // Read alike, the name as written decides; equal names keep book order.
    const QStringList book = {u"增凡"_qs, u"曾凡"_qs, u"曾凡"_qs};
    EXPECT_EQ(fastOrder({book.begin(), book.end()}), (std::vector<int>{1, 2, 0}));
}

TEST(NameOrder, OnlyPeopleTakeSurnameReadings) {
    // The initials tell: 单位总机 is dān, the switchboard; 单雄信 is shàn; 查号台
    // and 茶叶 chá, 查良镛 zhā; 乐队 lè, 乐嘉 yuè. The same name may be either.
    const QStringList withInitials = {
        u"张伟 zw"_qs,       u"查号台 chd"_qs, u"单雄信 sxx"_qs, u"乐嘉 yj"_qs, u"曹操 cc"_qs,
        u"单位总机 dwzj"_qs, u"董洁 dj"_qs,    u"乐队 ld"_qs,    u"李娜 ln"_qs, u"山本 sb"_qs,
        u"尚文 sw"_qs,       u"杨洋 yy"_qs,    u"查良镛 zly"_qs, u"陈静 cj"_qs, u"查号台 zht"_qs,
    };
    EXPECT_EQ(sortedEntries(withInitials), u"曹操 cc,查号台 chd,陈静 cj,单位总机 dwzj,董洁 dj,乐队 ld,李娜 ln,山本 sb,"
                                           u"单雄信 sxx,尚文 sw,杨洋 yy,乐嘉 yj,查号台 zht,查良镛 zly,张伟 zw"_qs);

    // Without initials, a name of two or three characters is a person's; 单位总机 is not.
    QStringList bare;
    for (const QString& entry : withInitials)
        if (!bare.contains(entry.section(u' ', 0, 0)))
            bare << entry.section(u' ', 0, 0);
    EXPECT_EQ(sorted(bare), u"曹操,陈静,单位总机,董洁,李娜,山本,单雄信,尚文,杨洋,乐队,乐嘉,查号台,查良镛,张伟"_qs);

    // Where both readings begin alike (朴 piáo, pǔ) the length decides, and a
    // compound surname (乐正) allows a fourth character.
    EXPECT_EQ(sortedEntries({u"齐心 qx"_qs, u"朴素大方 psdf"_qs, u"品味 pw"_qs, u"朴树 ps"_qs, u"瓢泼 pp"_qs}),
              u"瓢泼 pp,朴树 ps,品味 pw,朴素大方 psdf,齐心 qx"_qs);
    EXPECT_EQ(sorted({u"乐正文华"_qs, u"乐观主义"_qs, u"李娜"_qs, u"杨洋"_qs}), u"乐观主义,李娜,杨洋,乐正文华"_qs);
}

TEST(NameOrder, NamesSharingTheirFirstFourCharactersSortByTheRest) {
    // The first four characters make the sort key; the fifth and later ones
    // settle names the key cannot tell apart.
    EXPECT_EQ(sorted({u"张三李四王"_qs, u"张三李四阿大"_qs, u"张三李四"_qs, u"张三李四安"_qs, u"张三李四阿"_qs}),
              u"张三李四,张三李四阿,张三李四阿大,张三李四安,张三李四王"_qs);
}

TEST(NameOrder, InitialsMadeFromTheNamesReadThemAsTheNamesAloneDo) {
    NameMaker maker(22);
    QStringList names;
    QStringList initials;
    for (int i = 0; i < 4000; ++i) {
        names << maker.name();
        initials << Initials::Of(names.back());
    }
    const std::vector<QStringView> nameViews(names.begin(), names.end());
    const std::vector<QStringView> initialViews(initials.begin(), initials.end());
    EXPECT_EQ(fastOrder(nameViews, initialViews), fastOrder(nameViews));
}
