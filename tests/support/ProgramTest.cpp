#include "ProgramTest.h"

#include "TestSupport.h"
#include "app/TXLMain.h"
#include "ui/frmMain.h"

#include <QDir>

ProgramTest::ProgramTest() = default;
ProgramTest::~ProgramTest() = default;

void ProgramTest::SetUp() {
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir().mkpath(storeFolder()));
    TestSupport::useSettingsStore(storeFolder(), {});
}

void ProgramTest::TearDown() {
    window.reset();
    TXLMain::ReleaseSettings();
}

void ProgramTest::storeValues(const QList<QPair<QString, QVariant>>& values) const {
    TestSupport::useSettingsStore(storeFolder(), values);
}

void ProgramTest::useBooks(const QByteArray& privateText, const QByteArray& publicText) {
    if (!privateText.isNull())
        TestSupport::writeFile(privateBook, privateText);
    if (!publicText.isNull())
        TestSupport::writeFile(localCopy, publicText);
    storeValues(
        {{TXLMain::kLocalTxlFile, privateBook}, {TXLMain::kSrvTxlFile, localCopy}, {TXLMain::kLogFilePath, logFile}});
}

frmMain& ProgramTest::makeWindow() {
    window = std::make_unique<frmMain>(dialogs);
    return *window;
}

frmMain& ProgramTest::startWindow() {
    makeWindow().Form_Load();
    return *window;
}
