#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

// One named setting with its default. A text setting keeps text, a Boolean one
// keeps a bool, whatever the store hands back.
class Setting {
public:
    enum Kind { Text = 1, Boolean = 4 };

    Setting(const QString& key, const QVariant& defaultValue, int kind);

    QString Key() const { return m_key; }
    int Kind() const { return m_kind; }
    QVariant Default() const { return m_default; }

    QVariant Value() const { return m_value; }
    // Replaces the value in memory only; SaveSettings stores it.
    void Value(const QVariant& vData);

private:
    QVariant coerce(const QVariant& v) const;

    QString m_key;
    int m_kind;
    QVariant m_default;
    QVariant m_value;
};

// The registered settings, in the order they were added.
class Settings {
public:
    // Registers `key`; `extra` is kept for the store's own use and ignored here.
    // Returns nullptr when the key is registered already (the first one stays).
    Setting* Add(const QString& key, const QVariant& defaultValue, const QString& extra, int kind);
    // nullptr when no such key is registered.
    Setting* Item(const QString& key) const;
    int Count() const { return int(m_items.size()); }

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<std::unique_ptr<Setting>> m_items;
};

// Fills every registered setting from the per-user store kept under `vendor`
// and `title`; settings the store lacks keep their defaults. Answers 1 when the
// store holds none of the registered keys (the caller then saves at once), else
// 0. When the store cannot be read `error` says why, the defaults stay and the
// answer is 0. `error` is emptied first.
int LoadSettings(const QString& title, Settings& settings, const QString& vendor, QString& error);

// Stores every registered setting. Answers 0 on success; otherwise non-zero
// with the reason in `*error` when given. `flags` is reserved (0).
int SaveSettings(const QString& title, const Settings& settings, const QString& vendor, int flags,
                 QString* error = nullptr);

// A note of the program's own (something it must remember, such as a notice
// already given), kept in the same store apart from the registered settings,
// so LoadSettings and SaveSettings never see it. An invalid QVariant when none
// is stored; WriteNote answers false when the store cannot be written.
QVariant ReadNote(const QString& title, const QString& vendor, const QString& key);
bool WriteNote(const QString& title, const QString& vendor, const QString& key, const QVariant& value);
