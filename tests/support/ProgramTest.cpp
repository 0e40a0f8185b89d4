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

std::unique_ptr<QSettings> ProgramTest::store() const {
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Pellinor"),
                                       QStringLiteral("Mirodex"));
}

void ProgramTest::removeStore() const {
    const auto s = store();
    s->clear();
    s->sync();
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

void ProgramTest::useSmallBooks() {
    useBooks(TestSupport::gbk(u"李娜\tln\t8001\t13900000001\t301\r\n"
                              u"张三\tzs\t8002\t13900000002\t302\r\n"_qs),
             TestSupport::gbk(u"赵四\tZS\t8003\t13900000003\t303\r\n"
                              u"王芳\twf\t8004\t13900000004\t304\r\n"
                              u"张伟\tzw\t8005\t13900000005\t305\r\n"_qs));
}

frmMain& ProgramTest::makeWindow() {
    window = std::make_unique<frmMain>(dialogs);
    return *window;
}

frmMain& ProgramTest::startWindow() {
    makeWindow().Form_Load();
    return *window;
}
