// How long the window stops answering during a Refresh: a 1 ms timer ticks
// while the real command reloads a generated public book (reading and the name
// order on a worker, the swap, the old collection freed on a worker) and for a
// while after it, so the list's repaint counts too. The benchmark's time is
// the longest gap between two ticks; "busy_ms" is the most processor time the
// window's thread spent between two ticks, the part of a gap that is the
// program's own work rather than waiting for a processor on a shared machine.
// Beside it, measured the same way: the reload done on the window's thread, as
// Refresh did it before, and the same span with nothing to do (the machine's
// own floor).
#include "BookGenerator.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "toolkit/Dialogs.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

#include <time.h>

namespace {

class SilentDialogs : public Dialogs {
public:
    void Message(const QString&, const QString&, Icon) override {}
    bool Input(const QString&, const QString&, QString&) override { return false; }
};

// The longest time between two ticks of a 1 ms timer, the end included.
class Ticker {
public:
    Ticker() {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        m_longest = 0;
        m_longestBusy = 0;
        m_ticks = 0;
        m_clock.start();
        tick();
        m_timer.start(1);
    }
    double stopMs() {
        tick();
        m_timer.stop();
        return double(m_longest) / 1e6;
    }
    double busyMs() const { return double(m_longestBusy) / 1e6; }

private:
    static qint64 threadTime() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
    }
    void tick() {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 busy = threadTime();
        if (m_ticks > 0) {
            m_longest = std::max(m_longest, now - m_last);
            m_longestBusy = std::max(m_longestBusy, busy - m_lastBusy);
        }
        m_last = now;
        m_lastBusy = busy;
        ++m_ticks;
    }
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_lastBusy = 0;
    qint64 m_longestBusy = 0;
    int m_ticks = 0;
};

void runEvents(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Program {
    QTemporaryDir store;
    SilentDialogs dialogs;
    std::unique_ptr<frmMain> window;
};
Program* g_program = nullptr;

// The window with the generated book of `entries` as its public book.
frmMain& windowWith(int entries) {
    frmMain& window = *g_program->window;
    const QString path = BookGenerator::SharedBooks().path(entries);
    if (TXLMain::Text(TXLMain::kSrvTxlFile) != path) {
        TXLMain::settings().Item(TXLMain::kSrvTxlFile)->Value(path);
        window.mnuFile_Refresh_Click();
        runEvents(200);
    }
    return window;
}

void measure(benchmark::State& state, const std::function<void(frmMain&)>& refresh) {
    frmMain& window = windowWith(int(state.range(0)));
    Ticker ticker;
    double refreshMs = 0;
    double busyMs = 0;
    for (auto _ : state) {
        runEvents(50);
        ticker.start();
        QElapsedTimer clock;
        clock.start();
        refresh(window);
        refreshMs = double(clock.nsecsElapsed()) / 1e6;
        // The repaint of the new list comes after the command returns.
        runEvents(300);
        state.SetIterationTime(ticker.stopMs() / 1e3);
        busyMs = ticker.busyMs();
    }
    state.counters["busy_ms"] = busyMs;
    state.counters["refresh_ms"] = refreshMs;
    state.counters["rows"] = window.manApp()->ManItems()->Count();
}

void BM_RefreshStall(benchmark::State& state) {
    measure(state, [](frmMain& window) { window.mnuFile_Refresh_Click(); });
}

// Yardstick: both books loaded and the name order rebuilt on the window's thread.
void BM_RefreshOnTheWindowsThreadStall(benchmark::State& state) {
    measure(state, [](frmMain& window) {
        window.manApp()->LoadManItems(TXLMain::Text(TXLMain::kLocalTxlFile), TXLMain::Text(TXLMain::kSrvTxlFile));
        window.searchBox()->setText(QString());
        window.searchBox()->setText(QStringLiteral(" "));
    });
}

// Yardstick: as long as a Refresh of a million entries, with nothing to do.
void BM_IdleStall(benchmark::State& state) {
    measure(state, [](frmMain&) { runEvents(3000); });
}

// One refresh per run, five runs: medians with their spread.
void repeated(benchmark::internal::Benchmark* b) {
    b->Iterations(1)->Repetitions(5)->UseManualTime()->Unit(benchmark::kMillisecond);
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    b->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

} // namespace

BENCHMARK(BM_RefreshStall)->Arg(100000)->Arg(1000000)->Apply(repeated);
BENCHMARK(BM_RefreshOnTheWindowsThreadStall)->Arg(100000)->Arg(1000000)->Apply(repeated);
BENCHMARK(BM_IdleStall)->Arg(1000000)->Apply(repeated);

int main(int argc, char** argv) {
    // Headless, and with a settings store of its own so no real one is touched.
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
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, program.store.path());
        {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellinor"),
                        QStringLiteral("Mirodex"));
            s.setValue(TXLMain::kLocalTxlFile, BookGenerator::SharedBooks().empty());
            s.setValue(TXLMain::kSrvTxlFile, BookGenerator::SharedBooks().empty());
        }
        program.window = std::make_unique<frmMain>(program.dialogs);
        program.window->Form_Load();
        program.window->show();
        runEvents(100);
        g_program = &program;
        benchmark::RunSpecifiedBenchmarks();
        g_program = nullptr;
        program.window.reset();
    }
    benchmark::Shutdown();
    return 0;
}
