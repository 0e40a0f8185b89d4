// Phone books no one should have to read: random bytes, NUL bytes, mixed line
// ends, a huge book, one huge line, a book replaced while it is read, books
// that cannot be read at all. The window must start and refresh with each,
// show a message only for a book it cannot read, and keep its event loop
// turning afterwards.
#include "BookGenerator.h"
#include "ProgramTest.h"
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "phonebook/ManApp.h"
#include "phonebook/ManItems.h"
#include "ui/ResultModel.h"
#include "ui/frmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <thread>

#ifdef __linux__
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>
#endif

using TestSupport::gbk;
using TestSupport::writeFile;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

class BadBooks : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        useBooks(gbk(QStringLiteral("自己\tzj\t1\r\n")), QByteArray());
    }

    // Start-up as the program does it, then the window on screen and painted.
    void start() {
        startWindow();
        window->show();
        window->grab();
    }

    void refresh() { window->mnuFile_Refresh_Click(); }

    // A timer posted now fires in the next pass, and a keystroke's search
    // still narrows the list.
    void expectResponsive() {
        bool fired = false;
        QTimer::singleShot(0, window.get(), [&fired] { fired = true; });
        for (int i = 0; i < 5 && !fired; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_TRUE(fired);
        // Random names get initials too, and some of them begin with zj as well.
        window->searchBox()->setText(QStringLiteral("zj"));
        QStringList found;
        for (int row = 0; row < window->resultModel()->rowCount(); ++row)
            found << window->resultModel()->index(row, 0).data().toString();
        EXPECT_TRUE(found.contains(QStringLiteral("自己")));
        window->searchBox()->setText(QStringLiteral(" "));
        window->grab();
    }

    int entries() const { return window->manApp()->ManItems()->Count(); }
    QString name(int position) const { return window->manApp()->ManItems()->Item(position)->FullName(); }
};

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// Lines of a book, `count` of them, numbered from `first`.
QByteArray lines(int first, int count, int width = 0) {
    BookGenerator::Options options;
    options.tag = QStringLiteral("王建国");
    options.first = first;
    options.width = width;
    options.header = false;
    return BookGenerator::Book(count, options);
}

} // namespace

TEST_F(BadBooks, RandomBytesNulBytesAndMixedLineEndsLoadWithoutAMessage) {
    writeFile(localCopy, randomBytes(1024 * 1024, 20240611));
    start();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_GE(entries(), 1);
    expectResponsive();

    // NUL bytes are characters like any other: inside a name, and lines of nothing else.
    const char nuls[] = "\0\0\0\r\nNul\0Name\tn\0n\t1\r\n\0\tafter a NUL line\r\n";
    writeFile(localCopy, QByteArray(nuls, sizeof(nuls) - 1) + lines(0, 1));
    refresh();
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(entries(), 5);
    EXPECT_EQ(name(2), QString(3, QChar(0)));
    EXPECT_EQ(name(3), QString::fromLatin1("Nul\0Name", 8));
    EXPECT_EQ(name(4), QString(1, QChar(0)));
    EXPECT_EQ(name(5), QStringLiteral("王建国0"));
    expectResponsive();

    // CR LF, LF, CR, and CR CR LF (an empty line in between) in one book.
    writeFile(localCopy, "a\tA\r\nb\tB\nc\tC\rd\tD\r\r\ne\tE");
    refresh();
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(entries(), 6);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(name(i + 2), QString(QChar(u'a' + i)));
    expectResponsive();
}

TEST_F(BadBooks, BooksThatCannotBeReadGiveOneMessageEach) {
    writeFile(path(QStringLiteral("plain")), "a file");
    QDir(dir.path()).mkdir(QStringLiteral("folder"));
    storeValues({{TXLMain::kLocalTxlFile, path(QStringLiteral("plain/PrivateTel.txt"))},
                 {TXLMain::kSrvTxlFile, path(QStringLiteral("folder"))}});
    start();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("初始化本地电话簿错误：")));
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(QStringLiteral("初始化公共电话簿错误：")));
    EXPECT_EQ(entries(), 0);

    // Once the books are back, a refresh shows them and says nothing more.
    TXLMain::settings().Item(TXLMain::kLocalTxlFile)->Value(privateBook);
    writeFile(localCopy, lines(0, 3));
    TXLMain::settings().Item(TXLMain::kSrvTxlFile)->Value(localCopy);
    refresh();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(entries(), 4);
    expectResponsive();
}

TEST_F(BadBooks, AHundredMegabyteBook) {
    // 100 MB from one 1 MB block written a hundred times.
    const QByteArray block = lines(0, 1024 * 1024 / 48, 6); // 47 bytes a line
    const int blockEntries = 1024 * 1024 / 48;
    {
        QFile file(localCopy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        qint64 written = 0;
        while (written < 100LL * 1024 * 1024)
            written += file.write(block);
    }
    const qint64 blocks = QFileInfo(localCopy).size() / block.size();
    start();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(entries(), 1 + blocks * blockEntries);
    expectResponsive();
}

TEST_F(BadBooks, AFiftyMegabyteLine) {
    writeFile(localCopy, lines(0, 1));
    start();
    // One line of 50 MB: a name, then a field that never ends.
    {
        QFile file(localCopy);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("Long\tl\t");
        const QByteArray digits(1024 * 1024, '7');
        for (int i = 0; i < 50; ++i)
            file.write(digits);
    }
    refresh();
    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(entries(), 2);
    EXPECT_EQ(window->manApp()->ManItems()->Item(2)->ExtTelNo().size(), 50 * 1024 * 1024);
    window->searchBox()->setText(QStringLiteral("l"));
    ASSERT_EQ(window->resultModel()->rowCount(), 1);
    // Laying out 50 million characters for every paint froze the window for
    // minutes; the list shows the start of such a field, the search still has all of it.
    const QString shown = window->resultModel()->index(0, ResultModel::ExtensionColumn).data().toString();
    ASSERT_LE(shown.size(), 1024);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("7777777777")));
    window->grab();
    expectResponsive();
}

#ifdef __linux__
TEST_F(BadBooks, ABookReplacedWhileItIsReadLoadsWholeOldThenWholeNew) {
    // Big enough that the read takes a while; the replacement is renamed over
    // it the moment the loader opens it, so it always lands after the open.
    const int oldCount = kSanitized ? 20000 : 200000;
    writeFile(localCopy, lines(0, oldCount));
    const QByteArray replacement = lines(1000000, 7);
    const QString staged = path(QStringLiteral(".PublicTel.txt.new"));
    writeFile(staged, replacement);

    const int watch = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(localCopy).constData(), IN_OPEN), 0);
    bool renamed = false;
    std::thread replacer([&] {
        pollfd p{watch, POLLIN, 0};
        if (poll(&p, 1, 30000) == 1)
            renamed = std::rename(QFile::encodeName(staged).constData(), QFile::encodeName(localCopy).constData()) == 0;
    });
    start();
    replacer.join();
    ::close(watch);
    ASSERT_TRUE(renamed);

    EXPECT_TRUE(dialogs.messages.empty());
    ASSERT_EQ(entries(), 1 + oldCount); // the old book whole, nothing of the new one
    EXPECT_EQ(name(2), QStringLiteral("王建国0"));
    EXPECT_EQ(name(1 + oldCount), QStringLiteral("王建国%1").arg(oldCount - 1));
    expectResponsive();

    refresh();
    ASSERT_EQ(entries(), 1 + 7);
    EXPECT_EQ(name(2), QStringLiteral("王建国1000000"));
    EXPECT_TRUE(dialogs.messages.empty());
}
#endif
