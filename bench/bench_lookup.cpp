// The terminal look-up as a user runs it, a whole process per search, beside
// the programs a shell user would reach for: `iconv` decoding the same book
// (the least a reader must do), and `iconv | awk | sort` doing the same filter
// without pinyin order. Wall time of each process; peak resident memory of
// the look-up (of the pipeline's biggest process) beside the book's size.
#include "BookGenerator.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

// An empty settings store for the look-up, removed when the program ends.
QString configDir() {
    static QTemporaryDir dir;
    return dir.path();
}

struct Run {
    bool ok = false;
    double seconds = 0;
    double cpuSeconds = 0; // user and system time of the process
    double peakBytes = 0;
};

// Runs `argv` with its output thrown away and waits for it.
Run run(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    Run r;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            r.peakBytes = double(usage.ru_maxrss) * 1024.0;
            const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
            r.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return r;
}

void measure(benchmark::State& state, const std::vector<std::string>& argv) {
    const double size = double(QFile(QString::fromStdString(argv.back())).size());
    double peak = 0;
    double cpu = 0;
    for (auto _ : state) {
        const Run r = run(argv);
        if (!r.ok) {
            state.SkipWithError("the program failed");
            break;
        }
        state.SetIterationTime(r.seconds);
        peak = std::max(peak, r.peakBytes);
        cpu += r.cpuSeconds;
    }
    // The pipeline's figure is its shell's: the children it waits for are counted there.
    state.counters["cpu_ms"] = benchmark::Counter(cpu * 1000, benchmark::Counter::kAvgIterations);
    state.counters["peak_MiB"] = peak / (1 << 20);
    state.counters["peak_per_file_byte"] = peak / size;
}

std::string book(const benchmark::State& state) {
    return BookGenerator::SharedBooks().path(int(state.range(0))).toStdString();
}

void BM_Yardstick_Iconv(benchmark::State& state) {
    measure(state, {"iconv", "-f", "GBK", "-t", "UTF-8", book(state)});
}

void BM_Yardstick_IconvAwkSort(benchmark::State& state) {
    // The same filter as `mirodex-lookup zw` in plain byte order: initials or
    // name beginning with "zw", printed as the look-up prints a row.
    const std::string pipeline =
        "iconv -f GBK -t UTF-8 \"$0\" | awk -F'\\t' 'tolower($2) ~ /^zw/ || tolower($1) ~ /^zw/ "
        "{ print $1 \"\\t\" $3 \"\\t\" $5 \"\\t\" $4 }' | sort";
    measure(state, {"env", "LC_ALL=C", "sh", "-c", pipeline, book(state)});
}

void BM_Lookup(benchmark::State& state) {
    const std::string config = "XDG_CONFIG_HOME=" + configDir().toStdString();
    measure(state, {"env", config, MIRODEX_LOOKUP, "--private", BookGenerator::SharedBooks().empty().toStdString(),
                    "zw", "--public", book(state)});
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(100000)
        ->Arg(1000000)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1)
        ->Repetitions(9)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(BM_Yardstick_Iconv)->Apply(sizes);
BENCHMARK(BM_Yardstick_IconvAwkSort)->Apply(sizes);
BENCHMARK(BM_Lookup)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
