// One keystroke in the search box at 1,000 to 1,000,000 entries, two ways:
//  - Keystroke: text change → search → list model updated (row count known);
//  - KeystrokeSeen: the same, then the list's layout and one paint of the
//    window: what the user waits for, to be within one frame (16 ms).
// Yardsticks measured in the same run:
//  - LinearScan: a prefix test on every entry's lower-cased names, prepared
//    beforehand (what a search without indexes costs at least);
//  - TreeViewSeen: KeystrokeSeen with a QTreeView of uniform rows as the list
//    (the list view this program had before);
//  - WidgetRebuild: a QTreeWidget cleared and refilled with one item per
//    match, then sorted (what a line-by-line port of the original does).
// Searches: everything (the empty text), two letters, one digit (nearly every
// entry's extension begins with 8), a mobile prefix, and "z" typed and erased
// in turn (the row count changes on every keystroke).

#include "BenchMain.h"
#include "phonebook/Directory.h"
#include "phonebook/ManApp.h"
#include "toolkit/Dialogs.h"
#include "toolkit/Toolkit.h"
#include "ui/ResultList.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QLineEdit>
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
const Keystroke kOneDigit{QStringLiteral("8"), QStringLiteral("8 ")};
const Keystroke kMobilePrefix{QStringLiteral("13800"), QStringLiteral("13800 ")};
// A first letter typed and erased: the row count changes every time (a fifth of the book, then all).
const Keystroke kLetterAndBack{QStringLiteral("z"), QString()};

// Widgets live until main() ends them, before the application object.
struct Widgets {
    SilentDialogs dialogs;
    std::map<int, std::unique_ptr<frmMain>> windows;
    std::map<int, std::unique_ptr<QTreeView>> trees;
    std::map<int, std::unique_ptr<ResultModel>> treeModels;
};
std::unique_ptr<Widgets> widgets;

// One window per size, loaded once; the name order is built by the first search.
frmMain& window(int count) {
    auto& w = widgets->windows[count];
    if (!w) {
        w = std::make_unique<frmMain>(widgets->dialogs);
        w->Form_Load();
        w->manApp()->ManItems(BenchMain::Book(count));
        w->show();
        w->searchBox()->setText(QStringLiteral("x"));
        QApplication::processEvents();
    }
    return *w;
}

void keystroke(benchmark::State& state, const Keystroke& text, bool seen) {
    frmMain& w = window(int(state.range(0)));
    QLineEdit* box = w.searchBox();
    ResultList* list = w.resultList();
    int rows = 0;
    bool flip = false;
    for (auto _ : state) {
        box->setText(flip ? text.b : text.a);
        flip = !flip;
        if (seen) {
            list->doItemsLayout();
            w.repaint();
        }
        rows = list->model()->rowCount();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = rows;
}

void treeViewSeen(benchmark::State& state, const Keystroke& text) {
    const int count = int(state.range(0));
    auto& model = widgets->treeModels[count];
    auto& tree = widgets->trees[count];
    if (!tree) {
        model = std::make_unique<ResultModel>();
        tree = std::make_unique<QTreeView>();
        tree->setModel(model.get());
        tree->setUniformRowHeights(true);
        tree->setRootIsDecorated(false);
        tree->resize(400, 600);
        tree->show();
        model->Search(BenchMain::Book(count), QStringLiteral("x"));
        QApplication::processEvents();
    }
    const auto items = BenchMain::Book(count);
    bool flip = false;
    for (auto _ : state) {
        model->Search(items, flip ? text.b : text.a);
        flip = !flip;
        tree->doItemsLayout();
        tree->repaint();
    }
    state.counters["rows"] = model->rowCount();
}

void linearScan(benchmark::State& state, const Keystroke& text) {
    const auto items = BenchMain::Book(int(state.range(0)));
    std::vector<QString> shortNames;
    std::vector<QString> fullNames;
    for (const auto& e : *items) {
        shortNames.push_back(e->ShortName().toLower());
        fullNames.push_back(e->FullName().toLower());
    }
    const QString s = Directory::SearchText(text.a);
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (std::size_t i = 0; i < shortNames.size(); ++i)
            if (shortNames[i].startsWith(s) || fullNames[i].startsWith(s))
                ++matches;
        benchmark::DoNotOptimize(matches);
    }
    state.counters["rows"] = matches;
}

void widgetRebuild(benchmark::State& state, const Keystroke& text) {
    const auto items = BenchMain::Book(int(state.range(0)));
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
        const QString s = Directory::SearchText(text.a);
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
}

void sizes(benchmark::internal::Benchmark* b) {
    for (const int n : {1000, 10000, 100000, 1000000})
        b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
    BenchMain::Spread(b);
}
void smallSizes(benchmark::internal::Benchmark* b) {
    for (const int n : {1000, 10000, 100000})
        b->Arg(n);
    b->Unit(benchmark::kMicrosecond);
    BenchMain::Spread(b);
}

#define MIRODEX_SEARCHES(name, function, ...)                                                                          \
    BENCHMARK_CAPTURE(function, name##_Everything, kEverything __VA_OPT__(, ) __VA_ARGS__)->Apply(sizes);              \
    BENCHMARK_CAPTURE(function, name##_TwoLetters, kTwoLetters __VA_OPT__(, ) __VA_ARGS__)->Apply(sizes);              \
    BENCHMARK_CAPTURE(function, name##_OneDigit, kOneDigit __VA_OPT__(, ) __VA_ARGS__)->Apply(sizes);                  \
    BENCHMARK_CAPTURE(function, name##_MobilePrefix, kMobilePrefix __VA_OPT__(, ) __VA_ARGS__)->Apply(sizes);          \
    BENCHMARK_CAPTURE(function, name##_LetterAndBack, kLetterAndBack __VA_OPT__(, ) __VA_ARGS__)->Apply(sizes)

MIRODEX_SEARCHES(Keystroke, keystroke, false);
MIRODEX_SEARCHES(KeystrokeSeen, keystroke, true);
MIRODEX_SEARCHES(TreeViewSeen, treeViewSeen);
BENCHMARK_CAPTURE(linearScan, LinearScan_Everything, kEverything)->Apply(sizes);
BENCHMARK_CAPTURE(linearScan, LinearScan_TwoLetters, kTwoLetters)->Apply(sizes);
BENCHMARK_CAPTURE(widgetRebuild, WidgetRebuild_Everything, kEverything)->Apply(smallSizes);
BENCHMARK_CAPTURE(widgetRebuild, WidgetRebuild_TwoLetters, kTwoLetters)->Apply(smallSizes);

} // namespace

int main(int argc, char** argv) {
    return BenchMain::Run(argc, argv, [](int& appArgc, char** appArgv) {
        QApplication app(appArgc, appArgv);
        widgets = std::make_unique<Widgets>();
        const int status = BenchMain::RunBenchmarks();
        widgets.reset(); // every window goes before the application object
        return status;
    });
}
