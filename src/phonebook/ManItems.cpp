#include "ManItems.h"

#include <algorithm>

ManItems::Entry ManItems::Add(const QString& FullName, const QString& ShortName, const QString& ExtTelNo,
                              const QString& MobilNo, const QString& RoomNo, const QString& sKey) {
    const QString key = sKey.toCaseFolded();
    if (!key.isEmpty() && m_byKey.contains(key))
        return nullptr;
    auto entry = m_packer.make({FullName, ShortName, ExtTelNo, MobilNo, RoomNo});
    m_entries.push_back(entry);
    if (!key.isEmpty() || !m_keys.empty()) {
        m_keys.resize(m_entries.size() - 1);
        m_keys.push_back(key);
        if (!key.isEmpty())
            m_byKey.insert(key, entry);
    }
    return entry;
}

const ManItems::Entry& ManItems::Add(const ManItem::Texts& texts) {
    m_entries.push_back(m_packer.make(texts));
    if (!m_keys.empty())
        m_keys.emplace_back();
    return m_entries.back();
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
