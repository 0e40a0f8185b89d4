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

namespace {

// A line break would let an argument smuggle in a command of its own.
bool breaksLine(const QString& text) {
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(0));
}

qsizetype verbEnd(const QString& operation) {
    const qsizetype blank = operation.indexOf(u' ');
    return blank < 0 ? operation.size() : blank;
}

// Keeps `out` only when its arguments suit its verb.
FtpOperation checked(FtpOperation out) {
    bool ok = true;
    switch (out.verb) {
    case Verb::Invalid:
        ok = false;
        break;
    case Verb::Get:
        ok = usableFile(out.a) && !out.b.isEmpty();
        break;
    case Verb::Put:
        ok = !out.a.isEmpty() && usableFile(out.b);
        break;
    default:
        break;
    }
    return ok ? out : FtpOperation();
}

} // namespace

FtpOperation parseOperation(const QString& operation) {
    FtpOperation out;
    if (breaksLine(operation))
        return out;
    const qsizetype end = verbEnd(operation);
    out.verb = findVerb(QStringView(operation).first(end));
    const QString rest = operation.mid(end + 1);
    auto splitAt = [&](qsizetype at) {
        if (at < 0)
            return false;
        out.a = rest.left(at);
        out.b = rest.mid(at + 1);
        return true;
    };
    switch (out.verb) {
    case Verb::Get:
    case Verb::Rename:
        if (!splitAt(rest.indexOf(u' ')))
            return FtpOperation();
        break;
    case Verb::Put:
        if (!splitAt(rest.lastIndexOf(u' ')))
            return FtpOperation();
        break;
    case Verb::Invalid:
    case Verb::Cdup:
    case Verb::Pwd:
    case Verb::Quit:
    case Verb::Close:
        break;
    default:
        out.a = rest;
        break;
    }
    return checked(out);
}

FtpOperation parseOperation(const QString& operation, const QStringList& arguments) {
    const qsizetype end = verbEnd(operation);
    const Verb verb = findVerb(QStringView(operation).first(end));
    const bool twoArguments = verb == Verb::Get || verb == Verb::Put || verb == Verb::Rename;
    if (!twoArguments || arguments.size() != 2)
        return parseOperation(operation);
    if (breaksLine(operation) || operation.mid(end) != u' ' + arguments[0] + u' ' + arguments[1])
        return FtpOperation();
    FtpOperation out;
    out.verb = verb;
    out.a = arguments[0];
    out.b = arguments[1];
    return checked(out);
}
