#include "Lookup.h"
#include "StderrDialogs.h"
#include "app/TXLMain.h"
#include "phonebook/EntryField.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Console.h"
#include "toolkit/Settings.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBookFailed = 1;
constexpr int kExitBadArguments = 2;

const char kUsage[] = "Usage: mirodex-lookup [--private FILE] [--public FILE] [TEXT...]\n";

const char kHelp[] = "\n"
                     "Looks colleagues up in the Lumeo电话簿 phone books the way the search box does:\n"
                     "prints every entry whose short name (pinyin initials) or full name begins with\n"
                     "TEXT, ignoring letter case. A TEXT of digits, written as numbers are (blanks,\n"
                     "'-', '+', '(', ')' and '.' between them: 010-6234, +86 138), also finds the\n"
                     "entries whose extension, mobile or room/direct line begins with those digits,\n"
                     "separators left out (+86 138 0013 8000 also by 138 0013). Several words are\n"
                     "joined by single blanks; blanks around the text do not count. Without TEXT\n"
                     "every entry is listed.\n"
                     "\n"
                     "Output (UTF-8), one line per entry, sorted by name as in the window:\n"
                     "  name<TAB>extension<TAB>room or direct line<TAB>mobile\n"
                     "\n"
                     "Options:\n"
                     "  --private FILE  the private phone book (default: the stored LocalTxlFile)\n"
                     "  --public FILE   the public phone book (default: the stored SrvTxlFile)\n"
                     "  --              everything after it is TEXT, even when it starts with '-'\n"
                     "  -h, --help      show this help\n"
                     "\n"
                     "The settings are only read, never written.\n"
                     "\n"
                     "Exit status: 0 when both books were read; 1 when a book could not be read (its\n"
                     "message goes to standard error and the other book is still searched); 2 for\n"
                     "bad arguments.\n";

struct Arguments {
    std::optional<QString> privateBook;
    std::optional<QString> publicBook;
    QStringList words;
    bool help = false;
};

void printError(const QString& text) {
    Console::Write(stderr, (QStringLiteral("mirodex-lookup: ") + text + u'\n').toUtf8());
}

// Answers false, having said why, when the arguments make no sense.
bool parse(const QStringList& args, Arguments& out) {
    bool onlyWords = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (onlyWords || arg == u"-" || !arg.startsWith(u'-')) {
            out.words << arg;
            continue;
        }
        if (arg == u"--") {
            onlyWords = true;
            continue;
        }
        if (arg == u"-h" || arg == u"--help") {
            out.help = true;
            continue;
        }
        std::optional<QString>* book = nullptr;
        QString name = arg;
        std::optional<QString> value;
        const qsizetype eq = arg.indexOf(u'=');
        if (eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
        }
        if (name == u"--private")
            book = &out.privateBook;
        else if (name == u"--public")
            book = &out.publicBook;
        if (!book) {
            printError(QStringLiteral("unknown option %1").arg(arg));
            return false;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                printError(QStringLiteral("%1 needs a file name").arg(name));
                return false;
            }
            value = args[++i];
        }
        if (book->has_value()) {
            printError(QStringLiteral("%1 given twice").arg(name));
            return false;
        }
        if (value->isEmpty()) {
            printError(QStringLiteral("%1 needs a file name").arg(name));
            return false;
        }
        *book = *value;
    }
    return true;
}

void writeOut(QByteArray& buffer) {
    Console::Write(stdout, buffer);
    buffer.clear();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    Console::Prepare();

    Arguments args;
    if (!parse(QCoreApplication::arguments(), args)) {
        Console::Write(stderr, QByteArray(kUsage) + "Try 'mirodex-lookup --help' for more.\n");
        return kExitBadArguments;
    }
    if (args.help) {
        Console::Write(stdout, QByteArray(kUsage) + kHelp);
        return kExitOk;
    }

    TXLMain::vendorName() = AppInfo::VendorName();
    TXLMain::RegisterSettings();
    QString storeError;
    LoadSettings(AppInfo::Title(), TXLMain::settings(), TXLMain::vendorName(), storeError);
    if (!storeError.isEmpty())
        printError(storeError);

    StderrDialogs dialogs;
    const Lookup::Result found =
        Lookup::Find(args.words.join(u' '), args.privateBook.value_or(TXLMain::Text(TXLMain::kLocalTxlFile)),
                     args.publicBook.value_or(TXLMain::Text(TXLMain::kSrvTxlFile)), dialogs);

    QByteArray buffer;
    constexpr qsizetype kChunk = 64 * 1024;
    buffer.reserve(kChunk + 1024);
    for (const auto& entry : found.rows) {
        // The list's columns, tab-separated.
        for (const ShownField& shown : kShownFields) {
            if (&shown != &kShownFields.front())
                buffer += '\t';
            buffer += entry->field(shown.field).toUtf8();
        }
        buffer += '\n';
        if (buffer.size() >= kChunk)
            writeOut(buffer);
    }
    writeOut(buffer);
    std::fflush(stdout);
    TXLMain::ReleaseSettings();
    return found.failedBooks > 0 ? kExitBookFailed : kExitOk;
}
