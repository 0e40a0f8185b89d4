#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Every test binary runs headless, with its settings store and runtime folder
// in a fresh temporary directory, so no test touches the user's own store or keyring.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    const QString config = home.filePath(QStringLiteral("config"));
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QDir().mkpath(config);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    // No test reaches the user's own session bus, and so their keyring: only a
    // bus the test started itself (tests/support/keyring_session) is used.
    if (!qEnvironmentVariableIsSet("MIRODEX_TEST_BUS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(runtime) + "/no-bus");

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    // A run whose every case skipped itself (root-only faults without root, a
    // missing tool) tells ctest so (SKIP_RETURN_CODE), instead of a green
    // "Passed" that ran nothing.
    const ::testing::UnitTest& unit = *::testing::UnitTest::GetInstance();
    if (failed == 0 && unit.test_to_run_count() > 0 && unit.skipped_test_count() == unit.test_to_run_count())
        return 77;
    return failed;
}
