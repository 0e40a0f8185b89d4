// Arbitrary operation texts for the transfer control: the parser must not
// crash, must accept only the known verbs, and must never hand on an argument
// that could carry a second FTP command (a line break or NUL).
#include "FuzzText.h"
#include "ftp/FtpOperation.h"

#include <cstdlib>

namespace {

using Verb = FtpOperation::Verb;

bool safe(const QString& argument) {
    return !argument.contains(u'\r') && !argument.contains(u'\n') && !argument.contains(QChar(0));
}

// The verb as typed, in ASCII capitals; anything else in it stays as it is.
QString asciiUpper(const QString& word) {
    QString out = word;
    for (QChar& c : out)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    return out;
}

void check(const QString& text) {
    const FtpOperation op = parseOperation(text);
    if (!op.valid()) {
        if (!op.a.isEmpty() || !op.b.isEmpty())
            std::abort();
        return;
    }
    if (!safe(op.a) || !safe(op.b))
        std::abort();
    const qsizetype blank = text.indexOf(u' ');
    const QString word = blank < 0 ? text : text.left(blank);
    if (asciiUpper(word) != FtpOperation::name(op.verb))
        std::abort();
    const QString rest = blank < 0 ? QString() : text.mid(blank + 1);
    switch (op.verb) {
    case Verb::Get:
    case Verb::Put:
    case Verb::Rename:
        // Nothing is lost or invented between the two arguments.
        if (op.a + u' ' + op.b != rest)
            std::abort();
        if (op.verb == Verb::Get && (op.a.isEmpty() || op.a.endsWith(u'/') || op.a.contains(u' ') || op.b.isEmpty()))
            std::abort();
        if (op.verb == Verb::Put && (op.b.isEmpty() || op.b.endsWith(u'/') || op.b.contains(u' ') || op.a.isEmpty()))
            std::abort();
        break;
    case Verb::Cdup:
    case Verb::Pwd:
    case Verb::Quit:
    case Verb::Close:
        if (!op.a.isEmpty() || !op.b.isEmpty())
            std::abort();
        break;
    case Verb::Invalid:
        std::abort();
    default:
        if (op.a != rest || !op.b.isEmpty())
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check(fuzzText(data, size));
    return 0;
}
