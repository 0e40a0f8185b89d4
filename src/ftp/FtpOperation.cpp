#include "FtpOperation.h"

#include <iterator>

namespace {

using Verb = FtpOperation::Verb;

struct VerbName {
    const char* text;
    Verb verb;
};

constexpr VerbName kVerbs[] = {
    {"GET", Verb::Get},     {"PUT", Verb::Put},     {"SIZE", Verb::Size},     {"LS", Verb::List},
    {"DIR", Verb::Dir},     {"CD", Verb::Cd},       {"CDUP", Verb::Cdup},     {"PWD", Verb::Pwd},
    {"MKDIR", Verb::Mkdir}, {"RMDIR", Verb::Rmdir}, {"RENAME", Verb::Rename}, {"DELETE", Verb::Delete},
    {"QUIT", Verb::Quit},   {"CLOSE", Verb::Close},
};

// QString::toUpper maps some letters outside ASCII onto ASCII ones ("ſ" to
// "S"); the verbs are ASCII words and are compared as such.
Verb findVerb(QStringView word) {
    for (const VerbName& v : kVerbs) {
        const QLatin1StringView name(v.text);
        if (word.size() != name.size())
            continue;
        bool same = true;
        for (qsizetype i = 0; same && i < word.size(); ++i) {
            char16_t c = word[i].unicode();
            if (c >= u'a' && c <= u'z')
                c = char16_t(c - u'a' + u'A');
            same = c == char16_t(name[i].unicode());
        }
        if (same)
            return v.verb;
    }
    return Verb::Invalid;
}

// A remote name ending in '/' would make libcurl list a directory instead.
bool usableFile(const QString& name) {
    return !name.isEmpty() && !name.endsWith(u'/');
}

} // namespace

QString FtpOperation::name(Verb verb) {
    for (const VerbName& v : kVerbs)
        if (v.verb == verb)
            return QString::fromLatin1(v.text);
    return QString();
}

FtpOperation parseOperation(const QString& operation) {
    FtpOperation out;
    // A line break would let an argument smuggle in a command of its own.
    if (operation.contains(u'\r') || operation.contains(u'\n') || operation.contains(QChar(0)))
        return out;
    const qsizetype blank = operation.indexOf(u' ');
    const Verb verb = findVerb(QStringView(operation).first(blank < 0 ? operation.size() : blank));
    const QString rest = blank < 0 ? QString() : operation.mid(blank + 1);

    auto splitAt = [&](qsizetype at) {
        if (at < 0)
            return false;
        out.a = rest.left(at);
        out.b = rest.mid(at + 1);
        return true;
    };
    bool ok = true;
    switch (verb) {
    case Verb::Invalid:
        ok = false;
        break;
    case Verb::Get:
        ok = splitAt(rest.indexOf(u' ')) && usableFile(out.a) && !out.b.isEmpty();
        break;
    case Verb::Put:
        ok = splitAt(rest.lastIndexOf(u' ')) && !out.a.isEmpty() && usableFile(out.b);
        break;
    case Verb::Rename:
        ok = splitAt(rest.indexOf(u' '));
        break;
    case Verb::Cdup:
    case Verb::Pwd:
    case Verb::Quit:
    case Verb::Close:
        break;
    default:
        out.a = rest;
        break;
    }
    if (!ok)
        return FtpOperation();
    out.verb = verb;
    return out;
}
