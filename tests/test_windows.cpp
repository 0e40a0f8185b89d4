// What only the Windows build has: settings in the registry, the editor's
// command line, text for the console. (Files and pipes get the same UTF-8
// lines as on Linux: test_lookup holds the terminal program to them.)
#include "TestSupport.h"
#include "app/TXLMain.h"
#include "toolkit/AppInfo.h"
#include "toolkit/Console.h"
#include "toolkit/ProgramLauncher.h"
#include "toolkit/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

using TestSupport::readFile;

namespace {

const wchar_t kKey[] = L"Software\\Pellinor\\Mirodex";

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
        TXLMain::RegisterSettings();
    }
    void TearDown() override { TXLMain::ReleaseSettings(); }

    QStringList valueNames() const {
        QStringList names;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return names;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            names << QString::fromWCharArray(name, int(length));
        }
        RegCloseKey(key);
        names.sort();
        return names;
    }
    QString text(const wchar_t* name) const {
        wchar_t value[1024];
        DWORD bytes = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
            return QStringLiteral("<none>");
        return QString::fromWCharArray(value);
    }
};

TEST_F(Registry, TheEightSettingsAreValuesOfTheProgramsKeyAndEditsThereAreRead) {
    const QString book = QStringLiteral("C:\\Users\\Wang Jian\\电话簿\\PublicTel.txt");
    TXLMain::settings().Item(TXLMain::kSrvTxlFile)->Value(book);
    ASSERT_EQ(SaveSettings(AppInfo::Title(), TXLMain::settings(), AppInfo::VendorName(), 0), 0);

    const QStringList expected{TXLMain::kDebugFilePath, TXLMain::kFtpFile,      TXLMain::kFtpServer,
                               TXLMain::kIsDebug,       TXLMain::kLocalTxlFile, TXLMain::kLogFilePath,
                               TXLMain::kSoftName,      TXLMain::kSrvTxlFile};
    EXPECT_EQ(valueNames(), expected);
    EXPECT_EQ(text(L"SrvTxlFile"), book);
    EXPECT_EQ(text(L"SoftName"), AppInfo::ProductName());

    // What an administrator sets with regedit or a policy: a DWORD for the flag.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    const DWORD on = 1;
    RegSetValueExW(key, L"IsDebug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
    const wchar_t server[] = L"ftp://文件.example:2121";
    RegSetValueExW(key, L"FtpServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server), sizeof server);
    RegCloseKey(key);

    TXLMain::RegisterSettings();
    QString error;
    EXPECT_EQ(LoadSettings(AppInfo::Title(), TXLMain::settings(), AppInfo::VendorName(), error), 0);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_TRUE(TXLMain::Flag(TXLMain::kIsDebug));
    EXPECT_EQ(TXLMain::Text(TXLMain::kFtpServer), QStringLiteral("ftp://文件.example:2121"));
    EXPECT_EQ(TXLMain::Text(TXLMain::kSrvTxlFile), book);
}

// The probe program beside this test records the arguments it was given.
QStringList argumentsSeenBy(const QString& argument) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("args.txt"));
    qputenv("MIRODEX_ARGS_PROBE_OUT", QDir::toNativeSeparators(out).toUtf8());
    DetachedLauncher launcher;
    QString error;
    const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/args_probe.exe");
    if (!launcher.Start(probe, {argument}, error))
        return {QStringLiteral("<not started: %1>").arg(error)};
    // Read until it has something: under Wine the finished file has been seen empty.
    QByteArray seen;
    if (!TestSupport::waitFor([&] { return !(seen = readFile(out)).isEmpty(); }, 20000))
        return {QStringLiteral("<no answer>")};
    return QString::fromUtf8(seen).split(u'\n', Qt::SkipEmptyParts);
}

TEST(EditorCommandLine, IsNotepadAndTheBookArrivesAsOneArgumentWhateverItsBlanks) {
    EXPECT_EQ(ProgramLauncher::TextEditor(), QStringLiteral("notepad.exe"));
    const QString book = QStringLiteral("C:\\Users\\Wang Jian\\我的 电话簿\\PrivateTel.txt");
    EXPECT_EQ(argumentsSeenBy(book), QStringList{book});
    // A trailing backslash must not swallow the closing quote.
    const QString folder = QStringLiteral("C:\\Users\\Wang Jian\\");
    EXPECT_EQ(argumentsSeenBy(folder), QStringList{folder});
}

// The console gets characters, not bytes in a code page it may not have.
TEST(ConsoleText, ChineseReachesTheConsoleAsCharacters) {
    // A program started without a console window (by ctest, or Wine's
    // console without a screen) takes a console of its own.
    if (!GetConsoleWindow() && (FreeConsole(), !AllocConsole()))
        GTEST_SKIP() << "no console could be had";
    // Read and write, as a console's standard output is: asking the console
    // for its mode or its screen needs read access.
    std::FILE* console = _wfopen(L"CONOUT$", L"w+");
    ASSERT_NE(console, nullptr);
    const HANDLE handle = HANDLE(_get_osfhandle(_fileno(console)));
    CONSOLE_SCREEN_BUFFER_INFO before{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(handle, &before));
    // Not the console's own code page: whatever it is, the text must arrive whole.
    SetConsoleOutputCP(437);
    ASSERT_TRUE(Console::Write(console, QStringLiteral("张三\t8001\n").toUtf8()));
    std::fflush(console);
    wchar_t seen[8] = {};
    DWORD read = 0;
    const COORD start{0, before.dwCursorPosition.Y};
    ASSERT_TRUE(ReadConsoleOutputCharacterW(handle, seen, 2, start, &read));
    EXPECT_EQ(QString::fromWCharArray(seen, int(read)), QStringLiteral("张三"));
    std::fclose(console);
}

} // namespace
