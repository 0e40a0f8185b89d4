#include "ManItems.h"

#include <algorithm>

ManItems::ManItems(const ManItems& other) : m_entries(other.m_entries), m_keys(other.m_keys), m_byKey(other.m_byKey) {}

ManItems& ManItems::operator=(const ManItems& other) {
    if (this != &other) {
        m_store.reset();
        m_entries = other.m_entries;
        m_keys = other.m_keys;
        m_byKey = other.m_byKey;
    }
    return *this;
}

ManItem::Store& ManItems::store() {
    if (!m_store)
        m_store = std::make_shared<ManItem::Store>();
    return *m_store;
}

const ManItems::Entry& ManItems::append(ManItem* item) {
    // The entry shares ownership of the whole store.
    m_entries.emplace_back(m_store, item);
    if (!m_keys.empty())
        m_keys.emplace_back();
    return m_entries.back();
}

void ManItems::expect(std::size_t units, std::size_t entries) {
    store().expect(units, entries);
    m_entries.reserve(m_entries.size() + entries);
}

ManItems::Entry ManItems::Add(const QString& FullName, const QString& ShortName, const QString& ExtTelNo,
                              const QString& MobilNo, const QString& RoomNo, const QString& sKey) {
    const QString key = sKey.toCaseFolded();
    if (!key.isEmpty() && m_byKey.contains(key))
        return nullptr;
    Entry entry = append(store().make(ManItem::Texts{FullName, ShortName, ExtTelNo, MobilNo, RoomNo}));
    if (!key.isEmpty()) {
        m_keys.resize(m_entries.size());
        m_keys.back() = key;
        m_byKey.insert(key, entry);
    }
    return entry;
}

const ManItems::Entry& ManItems::Add(const ManItem::Texts& texts) {
    return append(store().make(texts));
}

const ManItems::Entry& ManItems::commit(const ManItem::Ends& ends) {
    return append(store().make(ends));
}

ManItems::Entry ManItems::Item(int position) const {
    if (position < 1 || position > Count())
        return nullptr;
    return m_entries[std::size_t(position - 1)];
}

ManItems::Entry ManItems::Item(const QString& key) const {
    return m_byKey.value(key.toCaseFolded());
}

bool ManItems::Remove(int position) {
    if (position < 1 || position > Count())
        return false;
    const std::size_t at = std::size_t(position - 1);
    if (at < m_keys.size()) {
        m_byKey.remove(m_keys[at]);
        m_keys.erase(m_keys.begin() + std::ptrdiff_t(at));
    }
    m_entries.erase(m_entries.begin() + std::ptrdiff_t(at));
    return true;
}

bool ManItems::Remove(const QString& key) {
    const QString folded = key.toCaseFolded();
    if (folded.isEmpty())
        return false;
    const auto it = std::find(m_keys.begin(), m_keys.end(), folded);
    if (it == m_keys.end())
        return false;
    return Remove(int(it - m_keys.begin()) + 1);
}
