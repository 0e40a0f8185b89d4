#pragma once

#include "RadixSort.h"
#include "toolkit/LargeAllocator.h"

#include <QStringView>

#include <functional>
#include <span>

// Positions sorted by a text of each (UTF-16 unit order), so the positions
// whose text begins with a given prefix form one run, found by two binary
// searches. It keeps the positions only and reads the texts through
// `TextAt`: 4 bytes per indexed position.
class PrefixIndex {
public:
    using TextAt = std::function<QStringView(int position)>;
    // What the texts mostly are; only the building speed depends on it.
    enum class Texts { Any, Digits };

    // The sort key of one text, which Build takes.
    static RadixSort::Keyed KeyOf(Texts texts, QStringView text, int position);
    // Sorts `keyed` (KeyOf of every position to index) and keeps the
    // positions. `scratch` is working space; both may be reused afterwards.
    void Build(RadixSort::Items& keyed, RadixSort::Items& scratch, const TextAt& textAt);

    // The positions whose text begins with `prefix`.
    std::span<const int> Find(QStringView prefix, const TextAt& textAt) const;
    void Clear() { m_positions = {}; }
    std::size_t Size() const { return m_positions.size(); }

private:
    LargeVector<int> m_positions;
};
