// The public book read from a directory server of 100,000 people: the real
// command (bind, paged search, the book written in code page 936, the swap
// with its ".bak" and the reload), beside OpenLDAP's own ldapsearch fetching
// the same entries in the same pages to /dev/null, and the read alone.
#include "LdapServer.h"
#include "app/TXLMain.h"
#include "ldap/LdapAddress.h"
#include "ldap/LdapReader.h"
#include "phonebook/ManApp.h"
#include "phonebook/ManItems.h"
#include "toolkit/Dialogs.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int kPeople = 100000;

// Answers the server prompt with the directory's address; the success box goes unseen.
class AddressDialogs : public Dialogs {
public:
    void Message(const QString&, const QString& text, Icon) override { last = text; }
    bool Input(const QString&, const QString&, QString& value) override {
        value = address;
        return true;
    }
    QString address;
    QString last;
};

struct Program {
    QTemporaryDir store;
    AddressDialogs dialogs;
    LdapServer server{LdapServer::Options{1000, false}};
    std::unique_ptr<frmMain> window;
};
Program* g_program = nullptr;

QByteArray directoryOf(int people) {
    static const QString surnames = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗");
    static const QString given = QStringLiteral("伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平刚桂");
    QByteArray ldif;
    ldif.reserve(qsizetype(people) * 220);
    for (int i = 0; i < people; ++i) {
        const QString name =
            QString(surnames[i % surnames.size()]) + given[(i / 7) % given.size()] + given[(i / 3) % given.size()];
        ldif += LdapServer::person(QStringLiteral("p%1").arg(i),
                                   {QStringLiteral("cn: Person %1").arg(i),
                                    QStringLiteral("displayName:: ") + QString::fromLatin1(name.toUtf8().toBase64()),
                                    QStringLiteral("telephoneNumber: %1").arg(10000 + i % 90000),
                                    QStringLiteral("mobile: 138%1").arg(i, 8, 10, QLatin1Char('0')),
                                    QStringLiteral("roomNumber: B-%1").arg(i % 700)});
    }
    return ldif;
}

QString address() {
    return g_program->server.url() + u'/' + QLatin1String(LdapServer::kPeople);
}

void repeated(benchmark::internal::Benchmark* b) {
    b->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    b->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

// The whole command as a user runs it, up to the reloaded list.
void BM_DirectoryDownload(benchmark::State& state) {
    frmMain& window = *g_program->window;
    g_program->dialogs.address = address();
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        window.mnuFile_GetTxl_Click();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!g_program->dialogs.last.startsWith(QStringLiteral("操作成功")))
            state.SkipWithError(g_program->dialogs.last.toUtf8().constData());
    }
    state.counters["entries"] = window.manApp()->ManItems()->Count();
}

// The read alone: bind, every page, each entry's fields into the book's text.
void BM_DirectoryReadOnly(benchmark::State& state) {
    const LdapAddress where(address());
    std::atomic<bool> stop{false};
    qsizetype entries = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        DirectoryBook book;
        const LdapReader::Request request{where, QString(), DirectoryBook::Attributes({}), 30};
        LdapReader::Read(request, stop, [&](const DirectoryBook::Row& row) { book.Add(row); });
        benchmark::DoNotOptimize(book.Encoded());
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        entries = book.Count();
    }
    state.counters["entries"] = double(entries);
}

// Yardstick: ldapsearch, anonymous, pages of 1000, LDIF to /dev/null.
void BM_LdapsearchPaged(benchmark::State& state) {
    for (auto _ : state) {
        QProcess ldapsearch;
        ldapsearch.setStandardOutputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        ldapsearch.start(QStringLiteral("ldapsearch"),
                         {QStringLiteral("-x"), QStringLiteral("-LLL"), QStringLiteral("-E"),
                          QStringLiteral("pr=1000/noprompt"), QStringLiteral("-H"), g_program->server.url(),
                          QStringLiteral("-b"), QLatin1String(LdapServer::kPeople)});
        ldapsearch.waitForFinished(-1);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (ldapsearch.exitCode() != 0)
            state.SkipWithError("ldapsearch failed");
    }
}

} // namespace

BENCHMARK(BM_DirectoryDownload)->Apply(repeated);
BENCHMARK(BM_DirectoryReadOnly)->Apply(repeated);
BENCHMARK(BM_LdapsearchPaged)->Apply(repeated);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    {
        Program program;
        if (!program.store.isValid())
            return 2;
        QString error;
        if (!program.server.start(directoryOf(kPeople), &error)) {
            qWarning("bench_directory: %s", qPrintable(error));
            return 2;
        }
        for (const char* name : {"PrivateTel.txt", "PublicTel.txt"}) {
            QFile book(program.store.filePath(QLatin1String(name)));
            if (!book.open(QIODevice::WriteOnly) || book.write("self\ts\t1\r\n") < 0)
                return 2;
        }
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, program.store.path());
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellinor"),
                        QStringLiteral("Mirodex"));
            s.setValue(TXLMain::kLocalTxlFile, program.store.filePath(QStringLiteral("PrivateTel.txt")));
            s.setValue(TXLMain::kSrvTxlFile, program.store.filePath(QStringLiteral("PublicTel.txt")));
            s.setValue(TXLMain::kLogFilePath, program.store.filePath(QStringLiteral("txl.log")));
        }
        program.window = std::make_unique<frmMain>(program.dialogs);
        program.window->setDownloadTimeout(60);
        program.window->Form_Load();
        g_program = &program;
        benchmark::RunSpecifiedBenchmarks();
        g_program = nullptr;
        program.window.reset();
    }
    benchmark::Shutdown();
    return 0;
}
