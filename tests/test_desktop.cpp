#include "ProgramTest.h"
#include "TestSupport.h"
#include "app/FirstStart.h"
#include "toolkit/widgets/TrayIcon.h"
#include "ui/SingleInstance.h"
#include "ui/frmMain.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstring>
#include <thread>

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const QString kSample = QStringLiteral(MIRODEX_SAMPLE_DATA "/PublicTel.txt");

// An installed copy: its program folder cannot be written (a path through a
// regular file fails for root too).
class FirstStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        writeFile(dir.filePath(u"file"_qs), "not a folder");
    }
    QString readOnlyProgramDir() const { return dir.filePath(u"file/bin"_qs); }
    QString dataBook() const { return dir.filePath(u"data/Pellinor/Mirodex/PublicTel.txt"_qs); }
    QTemporaryDir dir;
};

TEST_F(FirstStartTest, InstalledCopyGetsTheSamplePublicBookOnceAndNeverOverwritesIt) {
    ASSERT_FALSE(QFileInfo::exists(dataBook()));
    EXPECT_TRUE(FirstStart::SeedPublicBook(dataBook(), dataBook(), readOnlyProgramDir(), kSample));
    EXPECT_EQ(readFile(dataBook()), readFile(kSample));
    EXPECT_TRUE(QFileInfo(dataBook()).isWritable());

    // The user's own book (a download, an edit) stays as it is.
    writeFile(dataBook(), "downloaded");
    EXPECT_FALSE(FirstStart::SeedPublicBook(dataBook(), dataBook(), readOnlyProgramDir(), kSample));
    EXPECT_EQ(readFile(dataBook()), QByteArray("downloaded"));
}

TEST_F(FirstStartTest, PortableCopyStoredPathsAndMissingSampleCopyNothing) {
    QTemporaryDir writable;
    EXPECT_FALSE(FirstStart::SeedPublicBook(dataBook(), dataBook(), writable.path(), kSample));
    EXPECT_FALSE(QFileInfo::exists(dataBook()));

    // A stored SrvTxlFile elsewhere wins over the default: neither place gets the sample.
    const QString stored = dir.filePath(u"shared/PublicTel.txt"_qs);
    EXPECT_FALSE(FirstStart::SeedPublicBook(stored, dataBook(), readOnlyProgramDir(), kSample));
    EXPECT_FALSE(QFileInfo::exists(stored));
    EXPECT_FALSE(QFileInfo::exists(dataBook()));

    EXPECT_FALSE(
        FirstStart::SeedPublicBook(dataBook(), dataBook(), readOnlyProgramDir(), dir.filePath(u"no-sample.txt"_qs)));
    EXPECT_FALSE(QFileInfo::exists(dataBook()));
}

#ifdef Q_OS_WIN
TEST(FirstStart, SampleBooksLieBesideTheProgram) {
    EXPECT_EQ(FirstStart::SampleDirectory(u"C:/Program Files/Mirodex"_qs), u"C:/Program Files/Mirodex"_qs);
}
#else
TEST(FirstStart, SampleBooksLieInTheSharedDataFolderBesideBin) {
    EXPECT_EQ(FirstStart::SampleDirectory(u"/opt/lumeo/bin"_qs), u"/opt/lumeo/share/mirodex"_qs);
}
#endif

// The second start runs on its own thread: its claim() blocks until the first
// copy, served by this thread's event loop, answers.
class SecondStart {
public:
    explicit SecondStart(const QString& name)
        : m_thread([this, name] {
              SingleInstance second(name);
              m_first = second.claim();
              m_done = true;
          }) {}
    ~SecondStart() { m_thread.join(); }
    // Serves the first copy until the second has its answer.
    bool finish() {
        EXPECT_TRUE(QTest::qWaitFor([this] { return m_done.load(); }, 20000));
        return m_first;
    }

private:
    std::atomic<bool> m_done{false};
    bool m_first = true;
    std::thread m_thread;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(runtime.isValid()); }
    QString name() const { return runtime.filePath(u"mirodex-test"_qs); }
    QTemporaryDir runtime;
};

TEST_F(SingleInstanceTest, SecondStartAsksTheFirstToShowAndEnds) {
    SingleInstance first(name());
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.isListening());
    int shows = 0;
    QObject::connect(&first, &SingleInstance::showRequested, [&shows] { ++shows; });

    // A stranger's bytes are not a request.
    QLocalSocket stranger;
    stranger.connectToServer(name());
    ASSERT_TRUE(stranger.waitForConnected(5000));
    stranger.write("hello\n");
    stranger.flush();

    SecondStart second(name());
    EXPECT_FALSE(second.finish());
    EXPECT_EQ(shows, 1);
}

#ifdef Q_OS_UNIX
// Windows' named pipes go with the process that made them: nothing is left behind.
TEST_F(SingleInstanceTest, SocketLeftByACrashIsTakenOverAndAClosedCopyFreesTheName) {
    // What a crashed copy leaves: a socket file nobody listens on.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name());
    ASSERT_LT(std::size_t(path.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.constData(), std::size_t(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(name()));

    {
        SingleInstance first(name());
        EXPECT_TRUE(first.claim());
        EXPECT_TRUE(first.isListening());
        SecondStart second(name());
        EXPECT_FALSE(second.finish());
    }
    SingleInstance next(name());
    EXPECT_TRUE(next.claim());
}

TEST(SingleInstanceName, IsPerUserInTheRuntimeFolder) {
    const QString name = SingleInstance::defaultName();
    EXPECT_EQ(QFileInfo(name).path(), qEnvironmentVariable("XDG_RUNTIME_DIR"));
    EXPECT_EQ(QFileInfo(name).fileName(), u"mirodex-%1"_qs.arg(::getuid()));
}
#else
TEST(SingleInstanceName, IsPerUser) {
    EXPECT_EQ(SingleInstance::defaultName(), u"mirodex-%1"_qs.arg(qEnvironmentVariable("USERNAME")));
}
#endif

bool trayPresent() {
    return true;
}

class Desktop : public ProgramTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(ProgramTest::SetUp());
        makeWindow().setTrayAvailableCheck(&trayPresent);
        window->Form_Load();
    }
    void expectPlaced() const {
        const QRect screen = window->screen()->geometry();
        const QRect available = window->screen()->availableGeometry();
        const QRect frame = window->frameGeometry();
        // A quarter of the screen, or what the texts need where that is more.
        const QSize border = frame.size() - window->size();
        const int width =
            std::min(std::max(screen.width() / 4, window->minimumWidth() + border.width()), available.width());
        EXPECT_EQ(
            frame.topLeft(),
            QPoint(std::min(screen.left() + int(screen.width() * 0.75), available.right() + 1 - width), screen.top()));
        EXPECT_NEAR(frame.width(), width, 2);
        EXPECT_NEAR(frame.height(), std::max(screen.height() / 2, window->minimumHeight() + border.height()), 2);
    }
};

TEST_F(Desktop, WindowAndTrayCarryTheIconAndTheProductName) {
    for (const QIcon& icon : {window->windowIcon(), window->trayIcon()->Icon()}) {
        ASSERT_FALSE(icon.isNull());
        const QList<QSize> sizes = icon.availableSizes();
        EXPECT_TRUE(sizes.contains(QSize(16, 16)));
        EXPECT_TRUE(sizes.contains(QSize(256, 256)));
    }
    EXPECT_EQ(window->trayIcon()->ToolTip(), u"Lumeo电话簿"_qs);
}

TEST_F(Desktop, BringForwardRestoresAndPlacesAsTheTrayDoes) {
    window->show();
    window->setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(window->hiddenToTray());
    window->BringForward();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(window->hiddenToTray());
    EXPECT_EQ(window->popupOpenItem()->text(), u"隐藏通讯录"_qs);
    expectPlaced();

    // Shown but moved away: back at the top right, still shown.
    window->move(window->pos() - QPoint(300, 0));
    window->BringForward();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->hiddenToTray());
    expectPlaced();
}

} // namespace
