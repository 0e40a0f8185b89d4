#include "Directory.h"

#include "toolkit/Toolkit.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>
#include <QStringView>

#include <algorithm>
#include <numeric>

namespace {

// A field's first four units packed so that integer order is text order; with
// the length it settles almost every comparison without touching the text.
struct PackedField {
    quint64 head;
    qsizetype size;
    int position;
};

PackedField pack(const QString& text, int position) {
    quint64 head = 0;
    for (qsizetype i = 0; i < 4; ++i)
        head = (head << 16) | (i < text.size() ? text.at(i).unicode() : 0u);
    return {head, text.size(), position};
}

using Book = std::vector<std::shared_ptr<const ManItem>>;

// Book positions in pinyin order of FullName (code-point order would put 张
// before 李); equal names keep their book order. One collation key per
// distinct name, since the same person is often in both books.
std::vector<int> nameOrder(const Book& book) {
    const std::size_t count = book.size();
    QHash<QStringView, int> ids;
    ids.reserve(qsizetype(count));
    std::vector<int> nameId(count);
    std::vector<QCollatorSortKey> keys;
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    for (std::size_t i = 0; i < count; ++i) {
        const QStringView name = book[i]->fullNameView();
        auto it = ids.constFind(name);
        if (it == ids.constEnd()) {
            it = ids.insert(name, int(keys.size()));
            keys.push_back(collator.sortKey(name.toString()));
        }
        nameId[i] = *it;
    }
    std::vector<int> byKey(keys.size());
    std::iota(byKey.begin(), byKey.end(), 0);
    std::sort(byKey.begin(), byKey.end(),
              [&keys](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
    std::vector<int> rank(keys.size());
    for (std::size_t r = 0; r < byKey.size(); ++r)
        rank[std::size_t(byKey[r])] = int(r);

    // A counting sort by rank keeps book order within one name.
    std::vector<int> next(keys.size() + 1, 0);
    for (std::size_t i = 0; i < count; ++i)
        ++next[std::size_t(rank[std::size_t(nameId[i])]) + 1];
    std::partial_sum(next.begin(), next.end(), next.begin());
    std::vector<int> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[std::size_t(next[std::size_t(rank[std::size_t(nameId[i])])]++)] = int(i);
    return order;
}

} // namespace

void Directory::sortByField(std::vector<int>& index, const std::vector<QString>& lowered) {
    std::vector<PackedField> packed;
    packed.reserve(index.size());
    for (const int at : index)
        packed.push_back(pack(lowered[std::size_t(at)], at));
    std::sort(packed.begin(), packed.end(), [&lowered](const PackedField& a, const PackedField& b) {
        if (a.head != b.head)
            return a.head < b.head;
        if (a.size <= 4 && b.size <= 4) // equal heads: the shorter one is a prefix of the other
            return a.size != b.size ? a.size < b.size : a.position < b.position;
        const int order =
            QStringView(lowered[std::size_t(a.position)]).compare(QStringView(lowered[std::size_t(b.position)]));
        return order != 0 ? order < 0 : a.position < b.position;
    });
    for (std::size_t i = 0; i < packed.size(); ++i)
        index[i] = packed[i].position;
}

void Directory::Load(std::shared_ptr<const ManItems> items) {
    m_source = std::move(items);
    m_entries.clear();
    m_shortLower.clear();
    m_fullLower.clear();
    m_shortIndex.clear();
    m_fullIndex.clear();
    m_irregular.clear();
    m_marked.clear();
    m_matches.clear();
    if (!m_source)
        return;

    const std::size_t count = std::size_t(m_source->Count());
    Book book(m_source->begin(), m_source->end());

    m_entries.reserve(count);
    for (const int at : nameOrder(book))
        m_entries.push_back(std::move(book[std::size_t(at)]));

    m_shortLower.reserve(count);
    m_fullLower.reserve(count);
    m_shortIndex.reserve(count);
    m_fullIndex.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const ManItem& entry = *m_entries[i];
        m_shortLower.push_back(entry.shortNameView().toString().toLower());
        m_fullLower.push_back(entry.fullNameView().toString().toLower());
        // Lower-casing is per character and only İ grows, so an unchanged
        // length means lower(LeftPart(field, n)) is the lowered field's first n units.
        const bool shortRegular = m_shortLower.back().size() == entry.shortNameView().size();
        const bool fullRegular = m_fullLower.back().size() == entry.fullNameView().size();
        if (shortRegular)
            m_shortIndex.push_back(int(i));
        if (fullRegular)
            m_fullIndex.push_back(int(i));
        if (!shortRegular || !fullRegular)
            m_irregular.push_back(int(i));
    }
    sortByField(m_shortIndex, m_shortLower);
    sortByField(m_fullIndex, m_fullLower);

    m_marked.assign(count, 0);
    m_matches.reserve(count);
}

QString Directory::SearchText(const QString& boxText) {
    qsizetype begin = 0;
    qsizetype end = boxText.size();
    while (begin < end && boxText.at(begin) == u' ')
        ++begin;
    while (end > begin && boxText.at(end - 1) == u' ')
        --end;
    return boxText.mid(begin, end - begin).toLower();
}

bool Directory::Matches(const ManItem& entry, const QString& searchText) {
    const int n = Toolkit::TextLength(searchText);
    const QString a = Toolkit::LeftPart(entry.ShortName(), n).toLower();
    const QString b = Toolkit::LeftPart(entry.FullName(), n).toLower();
    return searchText == a || searchText == b;
}

void Directory::mark(int position) {
    unsigned char& marked = m_marked[std::size_t(position)];
    if (!marked) {
        marked = 1;
        m_matches.push_back(position);
    }
}

void Directory::markPrefixed(const std::vector<int>& index, const std::vector<QString>& lowered, const QString& s) {
    const QStringView text(s);
    auto it = std::lower_bound(index.begin(), index.end(), text,
                               [&lowered](int at, QStringView t) { return QStringView(lowered[std::size_t(at)]) < t; });
    for (; it != index.end() && QStringView(lowered[std::size_t(*it)]).startsWith(text); ++it)
        mark(*it);
}

int Directory::Search(const QString& boxText) {
    const QString s = SearchText(boxText);
    m_matches.clear();
    const std::size_t count = m_entries.size();
    if (s.isEmpty()) {
        // The empty text is a prefix of every field.
        m_matches.resize(count);
        std::iota(m_matches.begin(), m_matches.end(), 0);
        return Count();
    }

    // LeftPart never ends inside a pair, so a text ending in a lone high
    // surrogate matches no regular field.
    if (!s.back().isHighSurrogate()) {
        markPrefixed(m_shortIndex, m_shortLower, s);
        markPrefixed(m_fullIndex, m_fullLower, s);
    }
    for (const int at : m_irregular)
        if (Matches(*m_entries[std::size_t(at)], s))
            mark(at);

    // Back into name order: sort a few hits, or sweep the marks when there are many.
    const std::size_t hits = m_matches.size();
    if (hits * 32 < count) {
        std::sort(m_matches.begin(), m_matches.end());
        for (const int at : m_matches)
            m_marked[std::size_t(at)] = 0;
    } else {
        m_matches.clear();
        for (std::size_t i = 0; i < count; ++i) {
            if (m_marked[i]) {
                m_marked[i] = 0;
                m_matches.push_back(int(i));
            }
        }
    }
    return Count();
}
