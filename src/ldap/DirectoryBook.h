#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

// A public book made from a directory server's entries, in the program's own
// line format: name, (empty) initials, extension, mobile, room, TAB between
// fields, CR LF after each line.
class DirectoryBook {
public:
    // The fields a directory fills, in book order less the initials.
    static constexpr int kFields = 4;
    using Row = std::array<QString, kFields>;
    // For each field, the attributes that may fill it, the first with a value winning.
    using FieldAttributes = std::array<QStringList, kFields>;

    // The attributes an address lists take their fields in order (name,
    // extension, mobile, room); a field the list leaves out, or names empty,
    // keeps its usual attributes.
    static FieldAttributes Attributes(const QStringList& listed);

    // One entry's row: each field takes the first value, trimmed, of the
    // first of its attributes that has a non-empty one. `firstValue(f, i)`
    // answers the first value of field f's i-th attribute (empty: none).
    static Row Fill(const FieldAttributes& fields, const std::function<QString(size_t, qsizetype)>& firstValue);

    // Adds one entry; one without a name is left out.
    void Add(const Row& row);
    qsizetype Count() const { return m_count; }

    // The whole book: code page 936 when every character has a place in it
    // (and the bytes cannot pass for UTF-8, which the loader would prefer),
    // else UTF-8 behind a byte-order mark.
    QByteArray Encoded(bool* gbk = nullptr) const;

private:
    QString m_text;
    qsizetype m_count = 0;
};
