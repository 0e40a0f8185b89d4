#include "NameOrder.h"

#include "RadixSort.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <numeric>
#include <string_view>

namespace NameOrder {
namespace {

using RadixSort::Keyed;

// Surnames the collator files under another reading, each with a common
// character of exactly the surname reading (syllable and tone) to sort as,
// and the first letters of both readings' pinyin, which a book's initials
// give away. The readings are those marked 姓 in 《现代汉语词典》, 7th
// edition (商务印书馆, 2016).
struct Surname {
    char16_t written;
    char16_t sortsAs;
    char16_t asSurname; // first letter of the surname reading
    char16_t otherwise; // and of the common one
};
constexpr Surname kSurnames[] = {
    {u'曾', u'增', u'z', u'c'}, // zēng, not céng
    {u'单', u'善', u's', u'd'}, // shàn, not dān
    {u'解', u'谢', u'x', u'j'}, // xiè, not jiě
    {u'仇', u'求', u'q', u'c'}, // qiú, not chóu
    {u'区', u'欧', u'o', u'q'}, // ōu, not qū
    {u'朴', u'瓢', u'p', u'p'}, // piáo, not pǔ
    {u'查', u'渣', u'z', u'c'}, // zhā, not chá
    {u'翟', u'宅', u'z', u'd'}, // zhái, not dí
    {u'覃', u'秦', u'q', u't'}, // qín, not tán
    {u'盖', u'舸', u'g', u'g'}, // gě, not gài
    {u'葛', u'舸', u'g', u'g'}, // gě, not gé
    {u'缪', u'妙', u'm', u'm'}, // miào, not móu
    {u'乐', u'月', u'y', u'l'}, // yuè, not lè
    {u'召', u'邵', u's', u'z'}, // shào, not zhào
    {u'任', u'人', u'r', u'r'}, // rén, not rèn
    {u'华', u'化', u'h', u'h'}, // huà, not huá
    {u'种', u'虫', u'c', u'z'}, // chóng, not zhǒng
    {u'秘', u'必', u'b', u'm'}, // bì, not mì
    {u'繁', u'婆', u'p', u'f'}, // pó, not fán
    {u'黑', u'贺', u'h', u'h'}, // hè, not hēi
    {u'过', u'郭', u'g', u'g'}, // guō, not guò
    {u'隗', u'伟', u'w', u'k'}, // wěi, not kuí
    {u'薄', u'博', u'b', u'b'}, // bó, not báo
    {u'燕', u'烟', u'y', u'y'}, // yān, not yàn
};

// Two-character surnames that begin with a character of the table: the
// name after one may be a character longer.
constexpr std::u16string_view kCompoundSurnames[] = {u"乐正"};

const Surname* surnameOf(QChar c) {
    for (const Surname& s : kSurnames)
        if (s.written == c.unicode())
            return &s;
    return nullptr;
}

// Characters, not UTF-16 units: a name may hold one outside the BMP.
qsizetype characters(QStringView text) {
    qsizetype n = 0;
    for (const QChar c : text)
        n += c.isLowSurrogate() ? 0 : 1;
    return n;
}

// A name with its reading decided.
struct Read {
    QStringView text;
    bool surname;
};

QString asCollated(Read name) {
    QString out = name.text.toString();
    if (name.surname)
        out[0] = QChar(surnameOf(out[0])->sortsAs);
    return out;
}

int compare(const QCollator& collator, Read a, Read b) {
    const int byReading = collator.compare(asCollated(a), asCollated(b));
    return byReading != 0 ? byReading : collator.compare(a.text, b.text);
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

// Flags of a ranked name: its key does not settle its order among equal
// keys; it reads as a surname.
constexpr quint32 kUnsettled = 1;
constexpr quint32 kSurname = 2;

// False when a character of the name is left to the collator.
bool keyOf(Name name, const Ranks& ranks, Keyed& item) {
    const QStringView text = name.text;
    const bool surname = !text.isEmpty() && ranks.first(text[0]) != ranks.of(text[0]) && ReadsAsSurname(name);
    quint64 key = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const quint16 rank = i == 0 && surname ? ranks.first(text[0]) : ranks.of(text[i]);
        if (!rank)
            return false;
        if (i < kKeyChars)
            key |= quint64(rank) << (16 * (kKeyChars - 1 - i));
    }
    item.key = key;
    item.flags = (text.size() > kKeyChars || surname ? kUnsettled : 0) | (surname ? kSurname : 0);
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
LargeVector<int> mergeCollated(std::span<const QStringView> names, std::span<const QStringView> initials,
                               const RadixSort::Items& ranked, const std::vector<int>& collated, const Ranks& ranks,
                               const QCollator& collator) {
    LargeVector<std::size_t> rankedClass; // first item of each class of equal ranked names
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        if (i == 0 || ranked[i].key != ranked[i - 1].key ||
            ((ranked[i].flags | ranked[i - 1].flags) &&
             compareTies(names[ranked[i - 1].position], names[ranked[i].position], ranks) != 0))
            rankedClass.push_back(i);
    }

    // Distinct by text and reading: the same name may be a person's in one
    // entry and not in another.
    std::array<QHash<QStringView, int>, 2> ids;
    std::vector<Read> distinct;
    std::vector<int> distinctOf(collated.size());
    for (std::size_t j = 0; j < collated.size(); ++j) {
        const std::size_t at = std::size_t(collated[j]);
        const Read name{names[at], ReadsAsSurname({names[at], at < initials.size() ? initials[at] : QStringView()})};
        QHash<QStringView, int>& idOf = ids[name.surname ? 1 : 0];
        auto it = idOf.constFind(name.text);
        if (it == idOf.constEnd()) {
            it = idOf.insert(name.text, int(distinct.size()));
            distinct.push_back(name);
        }
        distinctOf[j] = *it;
    }
    std::vector<QCollatorSortKey> byReading;
    std::vector<QCollatorSortKey> asWritten;
    for (const Read name : distinct) {
        byReading.push_back(collator.sortKey(asCollated(name)));
        asWritten.push_back(name.surname ? collator.sortKey(name.text.toString()) : byReading.back());
    }
    const auto compareDistinct = [&](int a, int b) {
        const int c = byReading[std::size_t(a)].compare(byReading[std::size_t(b)]);
        return c != 0 ? c : asWritten[std::size_t(a)].compare(asWritten[std::size_t(b)]);
    };
    std::vector<int> sorted(distinct.size());
    std::iota(sorted.begin(), sorted.end(), 0);
    std::sort(sorted.begin(), sorted.end(), [&](int a, int b) { return compareDistinct(a, b) < 0; });

    // Number the classes of both kinds in one merged sequence.
    const auto rankedName = [&](std::size_t c) {
        const Keyed& first = ranked[rankedClass[c]];
        return Read{names[first.position], (first.flags & kSurname) != 0};
    };
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
        const Read name = distinct[std::size_t(id)];
        std::size_t low = c;
        std::size_t high = rankedClass.size();
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (compare(collator, rankedName(middle), name) < 0)
                low = middle + 1;
            else
                high = middle;
        }
        for (; c < low; ++c)
            rankedClassNumber[c] = ++number;
        if (c < rankedClass.size() && compare(collator, rankedName(c), name) == 0) {
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

bool ReadsAsSurname(Name name) {
    if (name.text.isEmpty())
        return false;
    const Surname* surname = surnameOf(name.text[0]);
    if (!surname)
        return false;
    if (!name.initials.isEmpty() && surname->asSurname != surname->otherwise) {
        const char16_t letter = name.initials[0].toLower().unicode();
        if (letter == surname->asSurname)
            return true;
        if (letter == surname->otherwise)
            return false;
    }
    // Nothing told by the initials: names of people are short, things (单位总机) longer.
    qsizetype longest = 3;
    for (const std::u16string_view compound : kCompoundSurnames)
        if (name.text.startsWith(QStringView(compound)))
            longest = 4;
    const qsizetype length = characters(name.text);
    return length >= 2 && length <= longest;
}

char16_t FirstInitial(QStringView name) {
    const Surname* surname = name.isEmpty() ? nullptr : surnameOf(name[0]);
    if (!surname)
        return 0;
    return ReadsAsSurname({name, {}}) ? surname->asSurname : surname->otherwise;
}

QString AsSurnameReads(Name name) {
    return asCollated({name.text, ReadsAsSurname(name)});
}

int Compare(const QCollator& collator, Name a, Name b) {
    return compare(collator, {a.text, ReadsAsSurname(a)}, {b.text, ReadsAsSurname(b)});
}

LargeVector<int> Sort(std::span<const QStringView> names, std::span<const QStringView> initials) {
    RadixSort::Workspace workspace;
    return Sort(names, initials, workspace);
}

LargeVector<int> Sort(std::span<const QStringView> names, std::span<const QStringView> initials,
                      RadixSort::Workspace& workspace) {
    const QCollator collator = Collator();
    const Ranks ranks(names, collator);
    RadixSort::Items& ranked = workspace.items;
    ranked.clear();
    ranked.reserve(names.size());
    std::vector<int> collated;
    for (std::size_t i = 0; i < names.size(); ++i) {
        Keyed item{0, quint32(i), 0};
        if (keyOf({names[i], i < initials.size() ? initials[i] : QStringView()}, ranks, item))
            ranked.push_back(item);
        else
            collated.push_back(int(i));
    }
    RadixSort::ByKey(ranked, workspace.scratch);
    RadixSort::SettleTies(ranked, [&](const Keyed& a, const Keyed& b) {
        return compareTies(names[a.position], names[b.position], ranks) < 0;
    });
    if (!collated.empty())
        return mergeCollated(names, initials, ranked, collated, ranks, collator);
    LargeVector<int> order;
    order.reserve(ranked.size());
    for (const Keyed& item : ranked)
        order.push_back(int(item.position));
    return order;
}

} // namespace NameOrder
