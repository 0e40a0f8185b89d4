// What a load of the books costs the searcher, at 1,000 to 1,000,000 entries
// (generated Chinese names: 770,750 distinct ones in 1,000,000):
//  - NameOrder: the name order (ranked characters, radix sort);
//  - CollatorOrder, the yardstick: the same order the plain way, one
//    collation key per distinct name, the keys sorted (what the program did
//    before, and what the order must equal);
//  - DirectoryLoad: everything Directory builds: the name order, the
//    lower-cased names and the five prefix indexes (CPU time of both threads);
//  - DirectoryFullList: until the full list can show (the name order), while
//    a large book's indexes are still built on their own thread.

#include "BenchMain.h"
#include "phonebook/Directory.h"
#include "phonebook/NameOrder.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QCoreApplication>
#include <QHash>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <numeric>

namespace {

std::vector<QStringView> names(int count) {
    std::vector<QStringView> out;
    for (const auto& entry : *BenchMain::Book(count))
        out.push_back(entry->fullNameView());
    return out;
}

std::vector<QStringView> initials(int count) {
    std::vector<QStringView> out;
    for (const auto& entry : *BenchMain::Book(count))
        out.push_back(entry->shortNameView());
    return out;
}

void BM_NameOrder(benchmark::State& state) {
    const std::vector<QStringView> all = names(int(state.range(0)));
    const std::vector<QStringView> theirInitials = initials(int(state.range(0)));
    for (auto _ : state) {
        const LargeVector<int> order = NameOrder::Sort(all, theirInitials);
        benchmark::DoNotOptimize(order.data());
    }
}

void BM_CollatorOrder(benchmark::State& state) {
    const std::vector<QStringView> all = names(int(state.range(0)));
    std::size_t distinct = 0;
    for (auto _ : state) {
        const QCollator collator = NameOrder::Collator();
        QHash<QStringView, int> ids;
        std::vector<int> nameId(all.size());
        std::vector<QCollatorSortKey> keys;
        for (std::size_t i = 0; i < all.size(); ++i) {
            auto it = ids.constFind(all[i]);
            if (it == ids.constEnd()) {
                it = ids.insert(all[i], int(keys.size()));
                keys.push_back(collator.sortKey(all[i].toString()));
            }
            nameId[i] = *it;
        }
        std::vector<int> byKey(keys.size());
        std::iota(byKey.begin(), byKey.end(), 0);
        std::sort(byKey.begin(), byKey.end(),
                  [&keys](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
        std::vector<int> rank(keys.size());
        for (std::size_t r = 0; r < byKey.size(); ++r)
            rank[std::size_t(byKey[r])] = int(r);
        // A counting sort by rank keeps book order within one name.
        std::vector<int> next(keys.size() + 1, 0);
        for (const int id : nameId)
            ++next[std::size_t(rank[std::size_t(id)]) + 1];
        std::partial_sum(next.begin(), next.end(), next.begin());
        std::vector<int> order(all.size());
        for (std::size_t i = 0; i < all.size(); ++i)
            order[std::size_t(next[std::size_t(rank[std::size_t(nameId[i])])]++)] = int(i);
        benchmark::DoNotOptimize(order.data());
        distinct = keys.size();
    }
    state.counters["distinct"] = double(distinct);
}

void BM_DirectoryLoad(benchmark::State& state) {
    const auto items = BenchMain::Book(int(state.range(0)));
    for (auto _ : state) {
        Directory directory;
        directory.Load(items);
        directory.Search(QStringLiteral("z")); // waits for the indexes
        benchmark::DoNotOptimize(directory.Count());
    }
}

// Manual time: until the full list is known (the indexes may still be on their way).
void BM_DirectoryFullList(benchmark::State& state) {
    const auto items = BenchMain::Book(int(state.range(0)));
    for (auto _ : state) {
        Directory directory;
        const auto start = std::chrono::steady_clock::now();
        directory.Load(items);
        directory.Search(QString());
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(directory.Count());
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    for (const int n : {1000, 10000, 100000, 1000000})
        b->Arg(n);
    b->Unit(benchmark::kMillisecond);
    BenchMain::Spread(b);
}

} // namespace

BENCHMARK(BM_NameOrder)->Apply(sizes);
BENCHMARK(BM_CollatorOrder)->Apply(sizes);
// Process CPU time: the indexes' thread included.
BENCHMARK(BM_DirectoryLoad)->Apply(sizes)->MeasureProcessCPUTime();
BENCHMARK(BM_DirectoryFullList)->Apply(sizes)->UseManualTime();

int main(int argc, char** argv) {
    return BenchMain::Run(argc, argv, [](int& appArgc, char** appArgv) {
        QCoreApplication app(appArgc, appArgv);
        return BenchMain::RunBenchmarks();
    });
}
