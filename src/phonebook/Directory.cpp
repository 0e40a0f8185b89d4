#include "Directory.h"

#include "toolkit/Toolkit.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QStringView>

#include <algorithm>
#include <numeric>

namespace {
constexpr unsigned char kShortIrregular = 1;
constexpr unsigned char kFullIrregular = 2;
} // namespace

void Directory::Load(std::shared_ptr<const ManItems> items) {
    m_source = std::move(items);
    m_entries.clear();
    m_shortLower.clear();
    m_fullLower.clear();
    m_irregular.clear();
    m_matches.clear();
    if (!m_source)
        return;

    const std::size_t count = std::size_t(m_source->Count());
    std::vector<std::shared_ptr<const ManItem>> book;
    book.reserve(count);
    for (const auto& entry : *m_source)
        book.push_back(entry);

    // Pinyin order: code-point order would put 张 before 李. One key per entry,
    // computed once here, so a keystroke never collates.
    QCollator collator{QLocale(QLocale::Chinese, QLocale::China)};
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    for (const auto& entry : book)
        keys.push_back(collator.sortKey(entry->fullNameRef()));
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&keys](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
    keys.clear();

    m_entries.reserve(count);
    m_shortLower.reserve(count);
    m_fullLower.reserve(count);
    m_irregular.reserve(count);
    m_matches.reserve(count);
    for (const int at : order) {
        auto& entry = book[std::size_t(at)];
        QString shortLower = entry->shortNameRef().toLower();
        QString fullLower = entry->fullNameRef().toLower();
        // Only a few letters (İ) grow when lower-cased; for them the rule is applied as written.
        unsigned char irregular = 0;
        if (shortLower.size() != entry->shortNameRef().size())
            irregular |= kShortIrregular;
        if (fullLower.size() != entry->fullNameRef().size())
            irregular |= kFullIrregular;
        m_shortLower.push_back(std::move(shortLower));
        m_fullLower.push_back(std::move(fullLower));
        m_irregular.push_back(irregular);
        m_entries.push_back(std::move(entry));
    }
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
    const QString a = Toolkit::LeftPart(entry.shortNameRef(), n).toLower();
    const QString b = Toolkit::LeftPart(entry.fullNameRef(), n).toLower();
    return searchText == a || searchText == b;
}

bool Directory::fieldMatches(const QString& lowered, const QString& s) {
    // Lower-casing kept every character's length, so lower(LeftPart(field, n))
    // is the first n units of the lowered copy, unless LeftPart would have
    // stopped short of a split surrogate pair (then it is one unit too short).
    const qsizetype n = s.size();
    if (n > lowered.size())
        return false;
    if (n > 0 && lowered.at(n - 1).isHighSurrogate())
        return false;
    return QStringView(lowered).first(n) == QStringView(s);
}

bool Directory::matches(std::size_t i, const QString& s) const {
    const unsigned char irregular = m_irregular[i];
    if (!irregular)
        return fieldMatches(m_shortLower[i], s) || fieldMatches(m_fullLower[i], s);
    const int n = Toolkit::TextLength(s);
    const bool a = (irregular & kShortIrregular) ? Toolkit::LeftPart(m_entries[i]->shortNameRef(), n).toLower() == s
                                                 : fieldMatches(m_shortLower[i], s);
    const bool b = (irregular & kFullIrregular) ? Toolkit::LeftPart(m_entries[i]->fullNameRef(), n).toLower() == s
                                                : fieldMatches(m_fullLower[i], s);
    return a || b;
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
    for (std::size_t i = 0; i < count; ++i)
        if (matches(i, s))
            m_matches.push_back(int(i));
    return Count();
}
