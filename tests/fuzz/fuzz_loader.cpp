// Arbitrary bytes as a phone book: the reader must not crash, and every entry
// it accepts must obey the line rules (a name, no separators left in a field,
// no blanks around a field).
#include "phonebook/BookReader.h"
#include "phonebook/ManItems.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {
bool clean(const QString& field) {
    if (field.contains(u'\t') || field.contains(u'\n') || field.contains(u'\r'))
        return false;
    const auto blank = [](QChar c) { return c == u' ' || c.unicode() == 0x3000; };
    return field.isEmpty() || (!blank(field.front()) && !blank(field.back()));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ManItems items;
    QString error;
    if (!BookReader::Read(buffer, items, error))
        std::abort();
    for (const auto& e : items) {
        if (e->FullName().isEmpty())
            std::abort();
        for (const QString& f : {e->FullName(), e->ShortName(), e->ExtTelNo(), e->MobilNo(), e->RoomNo()})
            if (!clean(f))
                std::abort();
    }
    return 0;
}
