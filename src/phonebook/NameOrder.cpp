#include "NameOrder.h"

#include "RadixSort.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace NameOrder {
namespace {

using RadixSort::Keyed;

// Surnames the collator files under another reading, each with a common
// character of exactly the surname reading (syllable and tone) to sort as.
// The readings are those marked 姓 in 《现代汉语词典》, 7th edition (商务印书馆, 2016).
struct Surname {
    char16_t written;
    char16_t sortsAs;
};
constexpr Surname kSurnames[] = {
    {u'曾', u'增'}, // zēng, not céng
    {u'单', u'善'}, // shàn, not dān
    {u'解', u'谢'}, // xiè, not jiě
    {u'仇', u'求'}, // qiú, not chóu
    {u'区', u'欧'}, // ōu, not qū
    {u'朴', u'瓢'}, // piáo, not pǔ
    {u'查', u'渣'}, // zhā, not chá
    {u'翟', u'宅'}, // zhái, not dí
    {u'覃', u'秦'}, // qín, not tán
    {u'盖', u'舸'}, // gě, not gài
    {u'葛', u'舸'}, // gě, not gé
    {u'缪', u'妙'}, // miào, not móu
    {u'乐', u'月'}, // yuè, not lè
    {u'召', u'邵'}, // shào, not zhào
    {u'任', u'人'}, // rén, not rèn
    {u'华', u'化'}, // huà, not huá
    {u'种', u'虫'}, // chóng, not zhǒng
    {u'秘', u'必'}, // bì, not mì
    {u'繁', u'婆'}, // pó, not fán
    {u'黑', u'贺'}, // hè, not hēi
    {u'过', u'郭'}, // guō, not guò
    {u'隗', u'伟'}, // wěi, not kuí
    {u'薄', u'博'}, // bó, not báo
    {u'燕', u'烟'}, // yān, not yàn
};

char16_t sortsAs(char16_t c) {
    for (const Surname& s : kSurnames)
        if (s.written == c)
            return s.sortsAs;
    return 0;
}

// The collator gives each of these characters one collation element with
// no accent or case, and none of them contracts with a neighbour, so a name
// made of them collates as the sequence of its characters' own ranks.
// Anything else (Latin, digits, punctuation, pairs) is left to the collator.
bool rankable(char16_t c) {
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF);
}

// Key: the ranks of a name's first four characters, 16 bits each, 0 after the end.
constexpr qsizetype kKeyChars = 4;

// The ranks of the characters a book uses, by the collator's own keys: about
// 4,000 keys for a million generated names instead of one per name. Equal
// ranks for characters the collator cannot tell apart; 0 for characters left to it.
class Ranks {
public:
    Ranks(std::span<const QStringView> names, const QCollator& collator);
    quint16 of(QChar c) const { return at(m_of, c); }
    // For a name's first character: surnames by their surname reading.
    quint16 first(QChar c) const { return at(m_first, c); }

private:
    static constexpr char16_t kLow = 0x3400;
    static constexpr char16_t kHigh = 0xA000;
    static quint16 at(const std::vector<quint16>& table, QChar c) {
        const char16_t u = c.unicode();
        return u >= kLow && u < kHigh ? table[u - kLow] : 0;
    }

    std::vector<quint16> m_of = std::vector<quint16>(kHigh - kLow, 0);
    std::vector<quint16> m_first;
};

Ranks::Ranks(std::span<const QStringView> names, const QCollator& collator) {
    for (const QStringView name : names)
        for (const QChar c : name)
            if (rankable(c.unicode()))
                m_of[c.unicode() - kLow] = 1;
    for (const Surname& s : kSurnames)
        m_of[s.sortsAs - kLow] = 1;

    std::vector<char16_t> chars;
    for (std::size_t i = 0; i < m_of.size(); ++i)
        if (m_of[i])
            chars.push_back(char16_t(kLow + i));
    std::vector<QCollatorSortKey> keys;
    keys.reserve(chars.size());
    for (const char16_t c : chars)
        keys.push_back(collator.sortKey(QString(QChar(c))));
    std::vector<int> byKey(chars.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::sort(byKey.begin(), byKey.end(),
              [&keys](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
    quint16 rank = 0;
    for (std::size_t i = 0; i < byKey.size(); ++i) {
        const std::size_t at = std::size_t(byKey[i]);
        if (i == 0 || keys[std::size_t(byKey[i - 1])].compare(keys[at]) != 0)
            ++rank;
        m_of[chars[at] - kLow] = rank;
    }
    m_first = m_of;
    for (const Surname& s : kSurnames)
        if (m_of[s.written - kLow])
            m_first[s.written - kLow] = m_of[s.sortsAs - kLow];
}

// False when a character of the name is left to the collator.
bool keyOf(QStringView name, const Ranks& ranks, Keyed& item) {
    quint64 key = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const quint16 rank = i == 0 ? ranks.first(name[0]) : ranks.of(name[i]);
        if (!rank)
            return false;
        if (i < kKeyChars)
            key |= quint64(rank) << (16 * (kKeyChars - 1 - i));
    }
    item.key = key;
    const bool surname = !name.isEmpty() && ranks.first(name[0]) != ranks.of(name[0]);
    item.flags = name.size() > kKeyChars || surname ? 1 : 0;
    return true;
}

// Two ranked names with equal keys: the characters after the key, then the
// first character as written (曾凡 before 增凡, which reads the same).
int compareTies(QStringView a, QStringView b, const Ranks& ranks) {
    for (qsizetype i = kKeyChars;; ++i) {
        const quint16 ra = i < a.size() ? ranks.of(a[i]) : 0;
        const quint16 rb = i < b.size() ? ranks.of(b[i]) : 0;
        if (ra != rb)
            return ra < rb ? -1 : 1;
        if (ra == 0)
            break;
    }
    const quint16 fa = a.isEmpty() ? 0 : ranks.of(a[0]);
    const quint16 fb = b.isEmpty() ? 0 : ranks.of(b[0]);
    return fa < fb ? -1 : (fa > fb ? 1 : 0);
}

// The names left to the collator are ordered by its keys, each class of
// equal ones placed among the ranked names by binary search; every name
// then gets the number of its class, and a counting sort by that number
// keeps book order within a class.
LargeVector<int> mergeCollated(std::span<const QStringView> names, const RadixSort::Items& ranked,
                               const std::vector<int>& collated, const Ranks& ranks, const QCollator& collator) {
    LargeVector<std::size_t> rankedClass; // first item of each class of equal ranked names
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        if (i == 0 || ranked[i].key != ranked[i - 1].key ||
            ((ranked[i].flags | ranked[i - 1].flags) &&
             compareTies(names[ranked[i - 1].position], names[ranked[i].position], ranks) != 0))
            rankedClass.push_back(i);
    }

    QHash<QStringView, int> ids;
    std::vector<QStringView> distinct;
    std::vector<int> distinctOf(collated.size());
    for (std::size_t j = 0; j < collated.size(); ++j) {
        const QStringView name = names[std::size_t(collated[j])];
        auto it = ids.constFind(name);
        if (it == ids.constEnd()) {
            it = ids.insert(name, int(distinct.size()));
            distinct.push_back(name);
        }
        distinctOf[j] = *it;
    }
    std::vector<QCollatorSortKey> byReading;
    std::vector<QCollatorSortKey> asWritten;
    for (const QStringView name : distinct) {
        const QString reads = AsSurnameReads(name);
        byReading.push_back(collator.sortKey(reads));
        asWritten.push_back(reads == name ? byReading.back() : collator.sortKey(name.toString()));
    }
    const auto compareDistinct = [&](int a, int b) {
        const int c = byReading[std::size_t(a)].compare(byReading[std::size_t(b)]);
        return c != 0 ? c : asWritten[std::size_t(a)].compare(asWritten[std::size_t(b)]);
    };
    std::vector<int> sorted(distinct.size());
    std::iota(sorted.begin(), sorted.end(), 0);
    std::sort(sorted.begin(), sorted.end(), [&](int a, int b) { return compareDistinct(a, b) < 0; });

    // Number the classes of both kinds in one merged sequence.
    const auto rankedName = [&](std::size_t c) { return names[ranked[rankedClass[c]].position]; };
    std::vector<int> distinctClass(distinct.size());
    LargeVector<int> rankedClassNumber(rankedClass.size());
    int number = -1;
    std::size_t c = 0; // next ranked class
    for (std::size_t k = 0; k < sorted.size(); ++k) {
        const int id = sorted[k];
        if (k > 0 && compareDistinct(sorted[k - 1], id) == 0) {
            distinctClass[std::size_t(id)] = number;
            continue;
        }
        const QStringView name = distinct[std::size_t(id)];
        std::size_t low = c;
        std::size_t high = rankedClass.size();
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (Compare(collator, rankedName(middle), name) < 0)
                low = middle + 1;
            else
                high = middle;
        }
        for (; c < low; ++c)
            rankedClassNumber[c] = ++number;
        if (c < rankedClass.size() && Compare(collator, rankedName(c), name) == 0) {
            rankedClassNumber[c++] = ++number;
            distinctClass[std::size_t(id)] = number;
        } else {
            distinctClass[std::size_t(id)] = ++number;
        }
    }
    for (; c < rankedClass.size(); ++c)
        rankedClassNumber[c] = ++number;

    LargeVector<int> classOf(names.size());
    for (std::size_t k = 0; k < rankedClass.size(); ++k) {
        const std::size_t end = k + 1 < rankedClass.size() ? rankedClass[k + 1] : ranked.size();
        for (std::size_t i = rankedClass[k]; i < end; ++i)
            classOf[ranked[i].position] = rankedClassNumber[k];
    }
    for (std::size_t j = 0; j < collated.size(); ++j)
        classOf[std::size_t(collated[j])] = distinctClass[std::size_t(distinctOf[j])];

    LargeVector<int> next(std::size_t(number) + 2, 0);
    for (const int k : classOf)
        ++next[std::size_t(k) + 1];
    std::partial_sum(next.begin(), next.end(), next.begin());
    LargeVector<int> order(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        order[std::size_t(next[std::size_t(classOf[i])]++)] = int(i);
    return order;
}

} // namespace

QCollator Collator() {
    return QCollator(QLocale(QLocale::Chinese, QLocale::China));
}

QString AsSurnameReads(QStringView name) {
    QString out = name.toString();
    if (!out.isEmpty())
        if (const char16_t c = sortsAs(out[0].unicode()))
            out[0] = QChar(c);
    return out;
}

int Compare(const QCollator& collator, QStringView a, QStringView b) {
    const int byReading = collator.compare(AsSurnameReads(a), AsSurnameReads(b));
    return byReading != 0 ? byReading : collator.compare(a, b);
}

LargeVector<int> Sort(std::span<const QStringView> names) {
    RadixSort::Workspace workspace;
    return Sort(names, workspace);
}

LargeVector<int> Sort(std::span<const QStringView> names, RadixSort::Workspace& workspace) {
    const QCollator collator = Collator();
    const Ranks ranks(names, collator);
    RadixSort::Items& ranked = workspace.items;
    ranked.clear();
    ranked.reserve(names.size());
    std::vector<int> collated;
    for (std::size_t i = 0; i < names.size(); ++i) {
        Keyed item{0, quint32(i), 0};
        if (keyOf(names[i], ranks, item))
            ranked.push_back(item);
        else
            collated.push_back(int(i));
    }
    RadixSort::ByKey(ranked, workspace.scratch);
    RadixSort::SettleTies(ranked, [&](const Keyed& a, const Keyed& b) {
        return compareTies(names[a.position], names[b.position], ranks) < 0;
    });
    if (!collated.empty())
        return mergeCollated(names, ranked, collated, ranks, collator);
    LargeVector<int> order;
    order.reserve(ranked.size());
    for (const Keyed& item : ranked)
        order.push_back(int(item.position));
    return order;
}

} // namespace NameOrder
