#include "BenchMain.h"

#include "BookGenerator.h"
#include "phonebook/ManItems.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace BenchMain {

int Run(int argc, char** argv, const std::function<int(int& argc, char** argv)>& body) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));

    // One run on a shared machine says little: medians of repeated runs.
    static char repetitions[] = "--benchmark_repetitions=5";
    static char aggregatesOnly[] = "--benchmark_report_aggregates_only=true";
    std::vector<char*> args(argv, argv + argc);
    const bool repeatsGiven = std::any_of(
        args.begin(), args.end(), [](const char* a) { return std::strncmp(a, "--benchmark_repetitions", 23) == 0; });
    if (!repeatsGiven) {
        args.push_back(repetitions);
        args.push_back(aggregatesOnly);
    }
    int count = int(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    return body(count, args.data());
}

int RunBenchmarks() {
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

std::shared_ptr<ManItems> Book(int count) {
    static std::map<int, std::shared_ptr<ManItems>> books;
    auto& items = books[count];
    if (!items) {
        items = std::make_shared<ManItems>();
        BookGenerator::Fill(*items, count);
    }
    return items;
}

void Spread(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
    b->ComputeStatistics("max", [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); });
}

} // namespace BenchMain
