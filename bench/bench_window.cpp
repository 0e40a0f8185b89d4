// The window with a generated public book of 0 to 1,000,000 entries: the time
// from the program's start to the first paint of its full list, and the
// memory it holds then, each in a fresh process (a probe run of this program)
// so nothing of an earlier run is reused. Beside them:
//  - Decode, the yardstick: reading the book and decoding it from code page
//    936, the least any reader must do;
//  - the shares: loading the entries (ManApp) and building the searcher
//    (Directory: the name order for the full list, then the lower-cased names
//    and the indexes), timed and weighed apart in a probe of their own.
// Counters are those of the last repetition.
// The goals: start-up at most 4× the decode time later than with empty books,
// and at most 4× the book file's size in memory.

#include "BenchMain.h"
#include "BookGenerator.h"
#include "app/TXLMain.h"
#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"
#include "toolkit/Dialogs.h"
#include "ui/ResultList.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QStringDecoder>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

const auto kStarted = std::chrono::steady_clock::now();

class SilentDialogs : public Dialogs {
public:
    void Message(const QString&, const QString&, Icon) override {}
    bool Input(const QString&, const QString&, QString&) override { return false; }
};

double secondsSinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStarted).count();
}

// Resident memory in bytes (Linux), 0 where unknown.
double residentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() * 1024;
    return 0;
}

// The probes, each in a process of its own. "window": the program's own
// start-up up to the first paint; "shares": loading and the searcher alone.
int probe(int argc, char** argv, const QString& mode, const QString& folder) {
    QApplication app(argc, argv);
    if (mode == QStringLiteral("window")) {
        SilentDialogs dialogs;
        frmMain window(dialogs);
        window.Form_Load();
        window.show();
        window.resultList()->doItemsLayout();
        window.repaint();
        const double shown = secondsSinceStart();
        const double residentShown = residentBytes();
        // Settled: a search waits for the indexes; back to the full list.
        window.searchBox()->setText(QStringLiteral("z"));
        window.searchBox()->setText(QStringLiteral(" "));
        std::printf("%.6f %.0f %.0f\n", shown, residentShown, residentBytes());
        window.Form_Unload();
        return 0;
    }
    const double before = residentBytes();
    QElapsedTimer timer;
    timer.start();
    ManApp manApp;
    manApp.LoadManItems(folder + QStringLiteral("/PrivateTel.txt"), folder + QStringLiteral("/PublicTel.txt"));
    const double load = double(timer.nsecsElapsed()) / 1e9;
    const double loaded = residentBytes();
    timer.restart();
    Directory directory;
    directory.Load(manApp.ManItems());
    directory.Search(QString());
    const double fullList = double(timer.nsecsElapsed()) / 1e9;
    directory.Search(QStringLiteral("z"));
    const double indexed = double(timer.nsecsElapsed()) / 1e9;
    std::printf("%.6f %.0f %.6f %.6f %.0f\n", load, loaded - before, fullList, indexed, residentBytes() - loaded);
    return 0;
}

// Runs a probe; its figures, or none when it failed.
QList<double> runProbe(const QString& mode, const QString& folder) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe"), mode, folder});
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {};
    QList<double> figures;
    for (const QByteArray& figure : child.readAllStandardOutput().trimmed().split(' '))
        figures << figure.toDouble();
    return figures;
}

struct Books {
    QTemporaryDir dir;
    std::map<int, QString> folders;
};
Books* books = nullptr;

// A folder with an empty private book, a public book of `count` entries and
// a settings store that points at both.
QString folder(int count) {
    QString& path = books->folders[count];
    if (path.isEmpty()) {
        path = books->dir.filePath(QString::number(count));
        QDir().mkpath(path + QStringLiteral("/config/Pellinor"));
        QFile(path + QStringLiteral("/PrivateTel.txt")).open(QIODevice::WriteOnly);
        BookGenerator::WriteBook(path + QStringLiteral("/PublicTel.txt"), count);
        QSettings store(path + QStringLiteral("/config/Pellinor/Mirodex.conf"), QSettings::IniFormat);
        store.setValue(TXLMain::kLocalTxlFile, path + QStringLiteral("/PrivateTel.txt"));
        store.setValue(TXLMain::kSrvTxlFile, path + QStringLiteral("/PublicTel.txt"));
    }
    return path;
}

void BM_Decode(benchmark::State& state) {
    QFile file(folder(int(state.range(0))) + QStringLiteral("/PublicTel.txt"));
    QByteArray block(64 * 1024, Qt::Uninitialized);
    QString text;
    for (auto _ : state) {
        if (!file.open(QIODevice::ReadOnly))
            state.SkipWithError("cannot read the book");
        QStringDecoder gbk("GBK");
        qint64 n = 0;
        while ((n = file.read(block.data(), block.size())) > 0) {
            text = gbk(QByteArrayView(block.data(), n));
            benchmark::DoNotOptimize(text.data());
        }
        file.close();
    }
    state.counters["file_MB"] = double(file.size()) / 1e6;
}

// Runs the probe once per iteration, its figure `timed` as the iteration's
// time; the figures of the last run, or none after a failure.
QList<double> timeProbe(benchmark::State& state, const QString& mode, qsizetype fields, qsizetype timed) {
    const QString path = folder(int(state.range(0)));
    QList<double> figures;
    for (auto _ : state) {
        figures = runProbe(mode, path);
        if (figures.size() != fields) {
            state.SkipWithError("the probe failed");
            return {};
        }
        state.SetIterationTime(figures[timed]);
    }
    return figures;
}

void BM_WindowStart(benchmark::State& state) {
    const double fileBytes = double(QFileInfo(folder(int(state.range(0))) + QStringLiteral("/PublicTel.txt")).size());
    const QList<double> figures = timeProbe(state, QStringLiteral("window"), 3, 0);
    if (figures.isEmpty())
        return;
    state.counters["rss_shown_MB"] = figures[1] / 1e6;
    state.counters["rss_MB"] = figures[2] / 1e6;
    state.counters["rss_per_file"] = fileBytes > 0 ? figures[2] / fileBytes : 0;
}

// Timed: the searcher until the full list can show; the rest as counters.
void BM_Shares(benchmark::State& state) {
    const QList<double> figures = timeProbe(state, QStringLiteral("shares"), 5, 2);
    if (figures.isEmpty())
        return;
    state.counters["load_ms"] = figures[0] * 1e3;
    state.counters["load_MB"] = figures[1] / 1e6;
    state.counters["indexed_ms"] = figures[3] * 1e3;
    state.counters["directory_MB"] = figures[4] / 1e6;
}

void sizes(benchmark::internal::Benchmark* b) {
    for (const int n : {0, 10000, 100000, 1000000})
        b->Arg(n);
    b->Unit(benchmark::kMillisecond);
    BenchMain::Spread(b);
}

} // namespace

BENCHMARK(BM_Decode)->Apply(sizes);
BENCHMARK(BM_WindowStart)->Apply(sizes)->UseManualTime();
BENCHMARK(BM_Shares)->Apply(sizes)->UseManualTime();

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--probe") == 0) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return probe(argc, argv, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    return BenchMain::Run(argc, argv, [](int& appArgc, char** appArgv) {
        QApplication app(appArgc, appArgv);
        Books owned;
        books = &owned;
        const int status = BenchMain::RunBenchmarks();
        books = nullptr;
        return status;
    });
}
