// Loading a public book (ManApp::LoadManItems: read, decode, split, build the
// entries) beside the yardstick: reading the same file and decoding it from
// code page 936 with the codec, nothing kept.
#include "BookGenerator.h"
#include "phonebook/ManApp.h"

#include <QFile>
#include <QStringDecoder>

#include <benchmark/benchmark.h>

#include <cstdio>

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

void BM_LoadManItems(benchmark::State& state) {
    const QString path = BookGenerator::SharedBooks().path(int(state.range(0)));
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

void sizes(benchmark::internal::Benchmark* b) {
    b->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond)->Repetitions(7);
    b->ReportAggregatesOnly(true);
}

BENCHMARK(BM_Yardstick_ReadAndDecode936)->Apply(sizes);
BENCHMARK(BM_LoadManItems)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
