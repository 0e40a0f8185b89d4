#include "Settings.h"

#include <QSettings>

Setting::Setting(const QString& key, const QVariant& defaultValue, int kind)
    : m_key(key), m_kind(kind), m_default(coerce(defaultValue)), m_value(m_default) {}

void Setting::Value(const QVariant& vData) {
    m_value = coerce(vData);
}

QVariant Setting::coerce(const QVariant& v) const {
    if (m_kind == Boolean) {
        // The ini store gives Booleans back as the words "true"/"false".
        if (v.typeId() == QMetaType::QString)
            return QVariant(v.toString().trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                            v.toString().trimmed() == QLatin1String("1"));
        return QVariant(v.toBool());
    }
    return QVariant(v.toString());
}

Setting* Settings::Add(const QString& key, const QVariant& defaultValue, const QString& extra, int kind) {
    Q_UNUSED(extra);
    if (Item(key))
        return nullptr;
    m_items.push_back(std::make_unique<Setting>(key, defaultValue, kind));
    return m_items.back().get();
}

Setting* Settings::Item(const QString& key) const {
    for (const auto& item : m_items)
        if (item->Key() == key)
            return item.get();
    return nullptr;
}

static QString describe(QSettings::Status status, const QString& file) {
    switch (status) {
    case QSettings::AccessError:
        return QStringLiteral("无法访问设置文件 ") + file;
    case QSettings::FormatError:
        return QStringLiteral("设置文件格式错误 ") + file;
    default:
        return QString();
    }
}

int LoadSettings(const QString& title, Settings& settings, const QString& vendor, QString& error) {
    error.clear();
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, vendor, title);
    if (store.status() != QSettings::NoError) {
        error = describe(store.status(), store.fileName());
        return 0;
    }
    int found = 0;
    for (const auto& item : settings) {
        if (!store.contains(item->Key()))
            continue;
        item->Value(store.value(item->Key()));
        ++found;
    }
    return found == 0 && settings.Count() > 0 ? 1 : 0;
}

int SaveSettings(const QString& title, const Settings& settings, const QString& vendor, int flags, QString* error) {
    Q_UNUSED(flags);
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, vendor, title);
    for (const auto& item : settings)
        store.setValue(item->Key(), item->Value());
    store.sync();
    if (store.status() != QSettings::NoError) {
        if (error)
            *error = describe(store.status(), store.fileName());
        return 1;
    }
    return 0;
}

namespace {
const QString kNotes = QStringLiteral("Notes/");
}

QVariant ReadNote(const QString& title, const QString& vendor, const QString& key) {
    const QSettings store(QSettings::NativeFormat, QSettings::UserScope, vendor, title);
    return store.value(kNotes + key);
}

bool WriteNote(const QString& title, const QString& vendor, const QString& key, const QVariant& value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, vendor, title);
    store.setValue(kNotes + key, value);
    store.sync();
    return store.status() == QSettings::NoError;
}
