#include "DirectoryBook.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
// A value's own TAB or line break would split the line or the entry.
void appendField(QString& text, const QString& value) {
    const qsizetype start = text.size();
    text += value;
    for (qsizetype i = start; i < text.size(); ++i)
        if (text[i] == u'\t' || text[i] == u'\r' || text[i] == u'\n')
            text[i] = u' ';
}
} // namespace

DirectoryBook::FieldAttributes DirectoryBook::Attributes(const QStringList& listed) {
    FieldAttributes fields{
        QStringList{QStringLiteral("displayName"), QStringLiteral("cn")},
        QStringList{QStringLiteral("telephoneNumber"), QStringLiteral("ipPhone")},
        QStringList{QStringLiteral("mobile")},
        QStringList{QStringLiteral("roomNumber"), QStringLiteral("physicalDeliveryOfficeName")},
    };
    for (int i = 0; i < kFields && i < listed.size(); ++i)
        if (!listed[i].isEmpty())
            fields[size_t(i)] = QStringList{listed[i]};
    return fields;
}

DirectoryBook::Row DirectoryBook::Fill(const FieldAttributes& fields,
                                       const std::function<QString(size_t, qsizetype)>& firstValue) {
    Row row;
    for (size_t f = 0; f < fields.size(); ++f)
        for (qsizetype i = 0; i < fields[f].size() && row[f].isEmpty(); ++i)
            row[f] = firstValue(f, i).trimmed();
    return row;
}

void DirectoryBook::Add(const Row& row) {
    const QString name = row[0].trimmed();
    if (name.isEmpty())
        return;
    // A line starting with an apostrophe is a comment to the loader; a
    // leading blank keeps such a name an entry (the loader trims it off).
    if (name.startsWith(u'\''))
        m_text += u' ';
    appendField(m_text, name);
    m_text += u'\t';
    for (int i = 1; i < kFields; ++i) {
        m_text += u'\t';
        appendField(m_text, row[size_t(i)].trimmed());
    }
    m_text += QLatin1String("\r\n");
    ++m_count;
}

QByteArray DirectoryBook::Encoded(bool* gbk) const {
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(m_text);
    bool fits = !encoder.hasError();
    if (fits) {
        // The loader reads valid UTF-8 with non-ASCII bytes as UTF-8.
        QStringDecoder utf8(QStringConverter::Utf8);
        const QString asUtf8 = utf8(bytes);
        if (!utf8.hasError() && asUtf8.size() != bytes.size())
            fits = false;
    }
    if (gbk)
        *gbk = fits;
    if (fits)
        return bytes;
    return QByteArrayLiteral("\xEF\xBB\xBF") + m_text.toUtf8();
}
