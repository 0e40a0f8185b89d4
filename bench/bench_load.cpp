// Loading a phone book beside the least any loader must do with the same
// bytes: read the file and decode it from code page 936.
#include "BookGenerator.h"
#include "phonebook/BookReader.h"
#include "phonebook/ManItems.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <benchmark/benchmark.h>

#include <map>

namespace {

// One generated book per size, written once per run.
QString bookOf(int entries) {
    static std::map<int, QString> paths;
    auto it = paths.find(entries);
    if (it != paths.end())
        return it->second;
    const QString path = QDir::temp().filePath(QStringLiteral("mirodex-bench-%1.txt").arg(entries));
    QString error;
    if (!BookGenerator::WriteBook(path, entries, 1, &error))
        qFatal("cannot write %s: %s", qPrintable(path), qPrintable(error));
    return paths.emplace(entries, path).first->second;
}

void BM_DecodeOnly(benchmark::State& state) {
    const QString path = bookOf(int(state.range(0)));
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

void BM_Load(benchmark::State& state) {
    const QString path = bookOf(int(state.range(0)));
    for (auto _ : state) {
        ManItems items;
        QString error;
        if (!BookReader::Read(path, items, error))
            state.SkipWithError("read failed");
        if (items.Count() != state.range(0))
            state.SkipWithError("wrong entry count");
        benchmark::DoNotOptimize(items.Count());
        state.PauseTiming(); // freeing the entries is not loading
        {
            ManItems drop = std::move(items);
        }
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * QFile(path).size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_DecodeOnly)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
