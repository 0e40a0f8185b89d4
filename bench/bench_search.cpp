// One keystroke in the search box, from the text change to the list model
// updated and the view's row count known, beside two yardsticks measured in
// the same run: a bare prefix scan over the same names (the limit) and a
// QTreeWidget rebuilt with one item per row (what a naive port does).

#include "BookGenerator.h"
#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Toolkit.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

namespace {

class SilentDialogs : public Dialogs {
public:
    void Message(const QString&, const QString&, Icon) override {}
    bool Input(const QString&, const QString&, QString&) override { return false; }
};

// Two box texts that give the same search, so every iteration is a real text change.
struct Keystroke {
    QString a;
    QString b;
};
const Keystroke kEverything{QStringLiteral(" "), QString()};
const Keystroke kTwoLetters{QStringLiteral("zh"), QStringLiteral("zh ")};

std::shared_ptr<ManItems> book(int count) {
    static std::map<int, std::shared_ptr<ManItems>> books;
    auto& items = books[count];
    if (!items) {
        items = std::make_shared<ManItems>();
        BookGenerator::Fill(*items, count);
    }
    return items;
}

// One window per size, loaded once; the name order is built by the first search.
frmMain& window(int count) {
    static SilentDialogs dialogs;
    static std::map<int, std::unique_ptr<frmMain>> windows;
    auto& w = windows[count];
    if (!w) {
        w = std::make_unique<frmMain>(dialogs);
        w->Form_Load();
        w->manApp()->ManItems(book(count));
        w->show();
        w->searchBox()->setText(QStringLiteral("x"));
        QApplication::processEvents();
    }
    return *w;
}

void keystroke(benchmark::State& state, const Keystroke& text, bool layout) {
    frmMain& w = window(int(state.range(0)));
    QLineEdit* box = w.searchBox();
    QTreeView* list = w.resultList();
    int rows = 0;
    bool flip = false;
    for (auto _ : state) {
        box->setText(flip ? text.b : text.a);
        flip = !flip;
        if (layout)
            list->doItemsLayout();
        rows = list->model()->rowCount();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = rows;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Keystroke_Everything(benchmark::State& state) {
    keystroke(state, kEverything, false);
}
void BM_Keystroke_TwoLetters(benchmark::State& state) {
    keystroke(state, kTwoLetters, false);
}
// The same, plus the view laying its rows out at once instead of at the next paint.
void BM_KeystrokeAndLayout_Everything(benchmark::State& state) {
    keystroke(state, kEverything, true);
}
void BM_KeystrokeAndLayout_TwoLetters(benchmark::State& state) {
    keystroke(state, kTwoLetters, true);
}

// The limit: lower-cased names prepared beforehand, one prefix test per field.
void bareScan(benchmark::State& state, const QString& text) {
    const auto items = book(int(state.range(0)));
    std::vector<QString> shortNames;
    std::vector<QString> fullNames;
    for (const auto& e : *items) {
        shortNames.push_back(e->ShortName().toLower());
        fullNames.push_back(e->FullName().toLower());
    }
    const QString s = text.trimmed().toLower();
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (std::size_t i = 0; i < shortNames.size(); ++i)
            if (shortNames[i].startsWith(s) || fullNames[i].startsWith(s))
                ++matches;
        benchmark::DoNotOptimize(matches);
    }
    state.counters["rows"] = matches;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_BareScan_Everything(benchmark::State& state) {
    bareScan(state, kEverything.a);
}
void BM_BareScan_TwoLetters(benchmark::State& state) {
    bareScan(state, kTwoLetters.a);
}

// What a line-by-line port does: clear the widget, test every entry with
// LeftPart, add one item per match and let the widget sort by name.
void widgetRebuild(benchmark::State& state, const QString& text) {
    const auto items = book(int(state.range(0)));
    QTreeWidget tree;
    tree.setColumnCount(4);
    tree.setUniformRowHeights(true);
    tree.resize(400, 600);
    tree.show();
    QApplication::processEvents();
    int rows = 0;
    for (auto _ : state) {
        tree.clear();
        tree.setHeaderLabels(
            {QStringLiteral("姓名"), QStringLiteral("分机"), QStringLiteral("房号/直拔"), QStringLiteral("手机")});
        const QString s = Directory::SearchText(text);
        const int n = Toolkit::TextLength(s);
        QList<QTreeWidgetItem*> matches;
        for (const auto& e : *items) {
            if (Toolkit::LeftPart(e->ShortName(), n).toLower() == s ||
                Toolkit::LeftPart(e->FullName(), n).toLower() == s)
                matches << new QTreeWidgetItem(QStringList{e->FullName(), e->ExtTelNo(), e->RoomNo(), e->MobilNo()});
        }
        tree.addTopLevelItems(matches);
        tree.sortItems(0, Qt::AscendingOrder);
        rows = tree.topLevelItemCount();
        benchmark::DoNotOptimize(rows);
    }
    tree.clear();
    state.counters["rows"] = rows;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_WidgetRebuild_Everything(benchmark::State& state) {
    widgetRebuild(state, kEverything.a);
}
void BM_WidgetRebuild_TwoLetters(benchmark::State& state) {
    widgetRebuild(state, kTwoLetters.a);
}

// What the searcher moved to load time: the name order, the lowered fields and the prefix indexes.
void BM_DirectoryLoad(benchmark::State& state) {
    const auto items = book(int(state.range(0)));
    for (auto _ : state) {
        Directory directory;
        directory.Load(items);
        benchmark::DoNotOptimize(directory.Size());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void sizes(benchmark::internal::Benchmark* b) {
    for (const int n : {1000, 10000, 100000, 1000000})
        b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}
void smallSizes(benchmark::internal::Benchmark* b) {
    for (const int n : {1000, 10000, 100000})
        b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK(BM_BareScan_Everything)->Apply(sizes);
BENCHMARK(BM_Keystroke_Everything)->Apply(sizes);
BENCHMARK(BM_KeystrokeAndLayout_Everything)->Apply(sizes);
BENCHMARK(BM_WidgetRebuild_Everything)->Apply(smallSizes);
BENCHMARK(BM_BareScan_TwoLetters)->Apply(sizes);
BENCHMARK(BM_Keystroke_TwoLetters)->Apply(sizes);
BENCHMARK(BM_KeystrokeAndLayout_TwoLetters)->Apply(sizes);
BENCHMARK(BM_WidgetRebuild_TwoLetters)->Apply(smallSizes);
BENCHMARK(BM_DirectoryLoad)->Apply(sizes)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Headless, and with a settings store of its own so no real one is touched.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    QApplication app(argc, argv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
