// Loading a public book (ManApp::LoadManItems: read, decode, split, build the
// entries) beside the yardstick: reading the same file and decoding it from
// code page 936 with the codec, nothing kept. The same book with its initials
// column left empty, which the loader fills from the names; and making the
// initials of as many names on their own.
#include "BookGenerator.h"
#include "phonebook/Initials.h"
#include "phonebook/ManApp.h"

#include <QElapsedTimer>

#include <QFile>
#include <QStringDecoder>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <utility>
#include <vector>

namespace {

// Resident memory of this process in bytes (Linux), 0 where unknown.
double residentBytes() {
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * 4096.0;
}

void BM_Yardstick_ReadAndDecode936(benchmark::State& state) {
    const QString path = BookGenerator::SharedBooks().path(int(state.range(0)));
    QByteArray block(64 * 1024, Qt::Uninitialized);
    qint64 bytes = 0;
    for (auto _ : state) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            state.SkipWithError("open failed");
        QStringDecoder decoder("GBK");
        qint64 got;
        while ((got = file.read(block.data(), block.size())) > 0) {
            QString text = decoder(QByteArrayView(block.constData(), got));
            benchmark::DoNotOptimize(text.constData());
            bytes += got;
        }
    }
    state.SetBytesProcessed(bytes);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void load(benchmark::State& state, bool initials) {
    const QString path = BookGenerator::SharedBooks().path(int(state.range(0)), initials);
    const QString none = BookGenerator::SharedBooks().empty();
    double held = 0;
    for (auto _ : state) {
        ManApp app;
        const double before = residentBytes();
        if (app.LoadManItems(none, path) != 0 || app.ManItems()->Count() != state.range(0))
            state.SkipWithError("load failed");
        state.PauseTiming(); // freeing the entries is not loading
        held = residentBytes() - before;
        app.ManItems(nullptr);
        state.ResumeTiming();
    }
    const double size = double(QFile(path).size());
    state.SetBytesProcessed(state.iterations() * qint64(size));
    state.SetItemsProcessed(state.iterations() * state.range(0));
    // What the loaded entries hold, beside the book's size.
    state.counters["held_per_file_byte"] = held / size;
}

void BM_LoadManItems(benchmark::State& state) {
    load(state, true);
}

void BM_LoadManItems_InitialsMade(benchmark::State& state) {
    load(state, false);
}

void BM_Initials_Make(benchmark::State& state) {
    // The names one after the other, as a load holds them.
    QString all;
    std::vector<std::pair<qsizetype, qsizetype>> at;
    for (const auto& e : BookGenerator::Entries(int(state.range(0)))) {
        at.emplace_back(all.size(), e.FullName.size());
        all += e.FullName;
    }
    std::vector<char16_t> out(std::size_t(all.size()));
    const auto makeAll = [&] {
        qsizetype made = 0;
        for (const auto& [from, size] : at)
            made += Initials::Make(QStringView(all).sliced(from, size), out.data() + made);
        return made;
    };
    // The program's first names ask ICU (opening its transliterator, reading
    // each character once): not timed, but reported for the run's first size.
    static double firstUse = -1;
    QElapsedTimer clock;
    clock.start();
    benchmark::DoNotOptimize(makeAll());
    if (firstUse < 0)
        firstUse = double(clock.nsecsElapsed()) / 1e6;
    for (auto _ : state)
        benchmark::DoNotOptimize(makeAll());
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["first_pass_ms"] = firstUse;
}

void sizes(benchmark::internal::Benchmark* b) {
    b->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond)->Repetitions(7);
    b->ReportAggregatesOnly(true);
}

// First, so that its first pass is the program's first use of the readings.
BENCHMARK(BM_Initials_Make)->Apply(sizes);
BENCHMARK(BM_Yardstick_ReadAndDecode936)->Apply(sizes);
BENCHMARK(BM_LoadManItems)->Apply(sizes);
BENCHMARK(BM_LoadManItems_InitialsMade)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
