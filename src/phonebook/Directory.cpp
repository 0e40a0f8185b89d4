#include "Directory.h"

#include "NameOrder.h"
#include "SearchRule.h"
#include "toolkit/Toolkit.h"

#include <algorithm>
#include <numeric>

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

void keepLongest(QStringView& longest, QStringView number) {
    if (number.size() > longest.size())
        longest = number;
}

bool hasSeparator(QStringView number) {
    return std::any_of(number.begin(), number.end(), SearchRule::IsSeparator);
}

// Whether lower-casing can change the text; ASCII and the common Chinese
// characters are settled without asking Qt.
bool mayChangeInLowerCase(QStringView text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80 ? (u >= u'A' && u <= u'Z') : !(u >= 0x3400 && u <= 0x9FFF))
            return true;
    }
    return false;
}

} // namespace

QStringView Directory::Derived::keep(int position, qsizetype begin, QStringView asWritten) {
    const QStringView form = QStringView(chars).mid(begin);
    if (form == asWritten) {
        chars.truncate(begin);
        return asWritten;
    }
    spans.push_back({position, quint32(begin), quint32(form.size())});
    return form;
}

QStringView Directory::Derived::lowered(int position, QStringView asWritten) {
    const qsizetype begin = chars.size();
    bool ascii = true;
    for (const QChar c : asWritten) {
        const char16_t u = c.unicode();
        ascii = ascii && u < 0x80;
        chars += QChar(u >= u'A' && u <= u'Z' ? u + (u'a' - u'A') : u);
    }
    if (!ascii) {
        chars.truncate(begin);
        chars += asWritten.toString().toLower();
    }
    return keep(position, begin, asWritten);
}

QStringView Directory::Derived::at(int position, QStringView asWritten) const {
    const auto it = std::lower_bound(spans.begin(), spans.end(), position,
                                     [](const Span& span, int p) { return span.position < p; });
    if (it == spans.end() || it->position != position)
        return asWritten;
    return QStringView(chars).mid(it->begin, it->length);
}

QStringView Directory::text(Field field, int position) const {
    if (field >= kFieldCount)
        return QStringView();
    const QStringView asWritten = m_entries[std::size_t(position)]->field(writtenField(field));
    const bool derived = !m_changed.empty() && (m_changed[std::size_t(position)] & (1u << field));
    if (derived)
        return m_derived[field].at(position, asWritten);
    // A national part exists only where it was kept.
    return field >= kNationalFrom ? QStringView() : asWritten;
}

PrefixIndex::TextAt Directory::textAt(Field field) const {
    return [this, field](int position) { return text(field, position); };
}

Directory::~Directory() {
    dropIndexes();
}

void Directory::dropIndexes() {
    m_dropIndexes = true;
    if (m_indexing.valid())
        m_indexing.wait(); // what it built is dropped, a failure with it
    m_dropIndexes = false;
    m_indexing = {};
}

void Directory::awaitIndexes() const {
    if (m_indexing.valid())
        m_indexing.get();
}

void Directory::Load(std::shared_ptr<const ManItems> items) {
    dropIndexes(); // the previous load's, if still on their way
    m_source = std::move(items);
    m_entries = {};
    m_longest = {};
    static std::atomic<quint64> loads{0};
    m_loadNumber = ++loads;
    m_derived = {};
    m_changed = {};
    for (PrefixIndex& index : m_index)
        index.Clear();
    m_irregular = {};
    m_marked = {};
    m_matches = {};
    if (!m_source)
        return;

    // The entries are read in book order, the order they lie in memory in:
    // in name order nearly every read would be a cache miss.
    const std::size_t count = std::size_t(m_source->Count());
    RadixSort::Workspace workspace;
    LargeVector<int> positionOf(count);
    {
        LargeVector<QStringView> names;
        LargeVector<QStringView> initials; // tell people's names from others
        names.reserve(count);
        initials.reserve(count);
        for (const auto& entry : *m_source) {
            names.push_back(entry->fullNameView());
            initials.push_back(entry->shortNameView());
            for (const EntryField field : kEntryFields)
                keepLongest(m_longest[indexOf(field)], entry->field(field));
        }
        const LargeVector<int> order = NameOrder::Sort(names, initials, workspace);
        m_entries.resize(count);
        for (std::size_t p = 0; p < count; ++p) {
            m_entries[p] = m_source->begin()[order[p]].get();
            positionOf[std::size_t(order[p])] = int(p);
        }
    }
    m_marked.assign(count, 0);
    m_matches.reserve(count);

    // The full list needs the name order only: a large book's indexes are
    // built on a thread of their own meanwhile, and awaited by the first
    // search that needs them (in the order of 100 ms at a million entries).
    auto build = [this, positionOf = std::move(positionOf), workspace = std::move(workspace)]() mutable {
        // Handed on, so they are freed when the indexes are done, not with the future.
        buildIndexes(std::move(positionOf), std::move(workspace));
    };
    if (count >= kIndexesOnAThreadFrom)
        m_indexing = std::async(std::launch::async, std::move(build)).share();
    else
        build();
}

void Directory::buildIndexes(LargeVector<int> positionOf, RadixSort::Workspace workspace) {
    const std::size_t count = positionOf.size();
    // One field at a time, so the working space is reused.
    RadixSort::Items& keyed = workspace.items;
    RadixSort::Items& scratch = workspace.scratch;
    keyed.reserve(count);
    for (const EntryField name : kNameFields) {
        if (m_dropIndexes)
            return;
        keyed.clear();
        const Field field = indexOf(name);
        Derived& derived = m_derived[field];
        std::size_t i = 0;
        for (const auto& entry : *m_source) {
            const int position = positionOf[i++];
            const QStringView asWritten = entry->field(name);
            QStringView lower = asWritten;
            if (mayChangeInLowerCase(asWritten)) {
                lower = derived.lowered(position, asWritten);
                if (lower.data() != asWritten.data())
                    markDerived(position, field);
            }
            // Lower-casing is per character and only İ grows, so an unchanged length
            // means lower(LeftPart(field, n)) is the lowered field's first n units.
            if (lower.size() == asWritten.size())
                keyed.push_back(PrefixIndex::KeyOf(PrefixIndex::Texts::Any, lower, position));
            else
                m_irregular.push_back(position);
        }
        sortSpans(derived);
        m_index[field].Build(keyed, scratch, textAt(field));
    }
    std::sort(m_irregular.begin(), m_irregular.end());
    m_irregular.erase(std::unique(m_irregular.begin(), m_irregular.end()), m_irregular.end());

    // A number search is digits: only numbers whose digits come first can match.
    for (const Field field : numberIndexes()) {
        if (m_dropIndexes)
            return;
        keyed.clear();
        const bool national = field >= kNationalFrom;
        const EntryField written = writtenField(field);
        Derived& derived = m_derived[field];
        std::size_t i = 0;
        for (const auto& entry : *m_source) {
            const int position = positionOf[i++];
            QStringView number = entry->field(written);
            if (national) {
                const qsizetype start = SearchRule::NationalStart(number);
                if (start < 0)
                    continue;
                const qsizetype begin = derived.chars.size();
                SearchRule::AppendNumberForm(number.mid(start), derived.chars);
                number = derived.keep(position, begin, QStringView());
                markDerived(position, field);
            } else if (hasSeparator(number)) {
                const qsizetype begin = derived.chars.size();
                SearchRule::AppendNumberForm(number, derived.chars);
                const QStringView form = derived.keep(position, begin, number);
                if (form.data() != number.data())
                    markDerived(position, field);
                number = form;
            }
            if (!number.isEmpty() && isAsciiDigit(number.front()))
                keyed.push_back(PrefixIndex::KeyOf(PrefixIndex::Texts::Digits, number, position));
        }
        sortSpans(derived);
        m_index[field].Build(keyed, scratch, textAt(field));
    }
}

void Directory::markDerived(int position, Field field) {
    if (m_changed.empty())
        m_changed.assign(m_entries.size(), 0);
    m_changed[std::size_t(position)] |= (1u << field);
}

void Directory::sortSpans(Derived& derived) {
    std::sort(derived.spans.begin(), derived.spans.end(),
              [](const Span& a, const Span& b) { return a.position < b.position; });
}

QString Directory::SearchText(const QString& boxText) {
    return SearchRule::Text(boxText);
}

bool Directory::Matches(const ManItem& entry, const QString& searchText) {
    return SearchRule::Finds(entry.shortNameView(), entry.fullNameView(), entry.extTelNoView(), entry.mobilNoView(),
                             entry.roomNoView(), SearchRule::FromText(searchText));
}

bool Directory::matches(int position, const SearchRule::Query& query) const {
    const ManItem& entry = *m_entries[std::size_t(position)];
    return SearchRule::Finds(entry.shortNameView(), entry.fullNameView(), entry.extTelNoView(), entry.mobilNoView(),
                             entry.roomNoView(), query);
}

void Directory::mark(int position) {
    unsigned char& marked = m_marked[std::size_t(position)];
    if (!marked) {
        marked = 1;
        m_matches.push_back(position);
    }
}

int Directory::Search(const QString& boxText) {
    const SearchRule::Query query = SearchRule::Prepare(boxText);
    const QString& s = query.text;
    m_matches.clear();
    const std::size_t count = m_entries.size();
    if (s.isEmpty()) {
        // Needs no index, so the full list shows while they are built.
        // The empty text is a prefix of every field.
        m_matches.resize(count);
        std::iota(m_matches.begin(), m_matches.end(), 0);
        return Count();
    }

    awaitIndexes();
    std::array<std::span<const int>, kFieldCount> runs{};
    // LeftPart never ends inside a pair, so a text ending in a lone high
    // surrogate matches no regular name.
    if (!s.back().isHighSurrogate())
        for (const EntryField name : kNameFields)
            runs[indexOf(name)] = m_index[indexOf(name)].Find(s, textAt(indexOf(name)));
    if (query.isNumber())
        for (const Field field : numberIndexes())
            runs[field] = m_index[field].Find(query.digits, textAt(field));

    // Back into name order: sort a few hits, or sweep the marks when there are many.
    std::size_t hits = m_irregular.size();
    for (const auto& run : runs)
        hits += run.size();
    if (hits * 32 < count) {
        for (const auto& run : runs)
            for (const int at : run)
                mark(at);
        for (const int at : m_irregular)
            if (matches(at, query))
                mark(at);
        std::sort(m_matches.begin(), m_matches.end());
        for (const int at : m_matches)
            m_marked[std::size_t(at)] = 0;
    } else {
        for (const auto& run : runs)
            for (const int at : run)
                m_marked[std::size_t(at)] = 1;
        for (const int at : m_irregular)
            if (matches(at, query))
                m_marked[std::size_t(at)] = 1;
        for (std::size_t i = 0; i < count; ++i) {
            if (m_marked[i]) {
                m_marked[i] = 0;
                m_matches.push_back(int(i));
            }
        }
    }
    return Count();
}
