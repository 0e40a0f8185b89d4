#include "TestSupport.h"
#include "toolkit/Settings.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kTitle = QStringLiteral("Mirodex");
const QString kVendor = QStringLiteral("Pellinor");

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        TestSupport::useSettingsStore(dir.path(), {}); // a fresh store, also in the registry
    }
    static void registerTwo(Settings& s) {
        s.Add(QStringLiteral("Name"), QStringLiteral("默认"), QString(), Setting::Text);
        s.Add(QStringLiteral("IsDebug"), false, QString(), Setting::Boolean);
    }
    QTemporaryDir dir;
};

} // namespace

TEST(SettingsCollection, RegistersInOrderAndFindsByKey) {
    Settings s;
    ASSERT_NE(s.Add(QStringLiteral("A"), QStringLiteral("x"), QString(), Setting::Text), nullptr);
    ASSERT_NE(s.Add(QStringLiteral("B"), true, QString(), Setting::Boolean), nullptr);
    EXPECT_EQ(s.Add(QStringLiteral("A"), QStringLiteral("y"), QString(), Setting::Text), nullptr);
    EXPECT_EQ(s.Count(), 2);
    EXPECT_EQ(s.Item(QStringLiteral("A"))->Value(), QVariant(QStringLiteral("x")));
    EXPECT_EQ(s.Item(QStringLiteral("B"))->Value().typeId(), QMetaType::Bool);
    EXPECT_EQ(s.Item(QStringLiteral("missing")), nullptr);
    QStringList keys;
    for (const auto& item : s)
        keys << item->Key();
    EXPECT_EQ(keys, QStringList({QStringLiteral("A"), QStringLiteral("B")}));
}

TEST(SettingsCollection, ValueIsChangedInMemoryAndKeepsItsKind) {
    Settings s;
    Setting* flag = s.Add(QStringLiteral("F"), false, QString(), Setting::Boolean);
    flag->Value(QStringLiteral("true"));
    EXPECT_EQ(flag->Value(), QVariant(true));
    Setting* text = s.Add(QStringLiteral("T"), QStringLiteral("a"), QString(), Setting::Text);
    text->Value(42);
    EXPECT_EQ(text->Value(), QVariant(QStringLiteral("42")));
}

TEST_F(SettingsStore, EmptyStoreAsksForASaveAndRoundTrips) {
    Settings first;
    registerTwo(first);
    QString error;
    EXPECT_EQ(LoadSettings(kTitle, first, kVendor, error), 1);
    EXPECT_TRUE(error.isEmpty());
    first.Item(QStringLiteral("Name"))->Value(QStringLiteral("张三 的 路径"));
    first.Item(QStringLiteral("IsDebug"))->Value(true);
    EXPECT_EQ(SaveSettings(kTitle, first, kVendor, 0), 0);

    Settings second;
    registerTwo(second);
    EXPECT_EQ(LoadSettings(kTitle, second, kVendor, error), 0);
    EXPECT_EQ(second.Item(QStringLiteral("Name"))->Value(), QVariant(QStringLiteral("张三 的 路径")));
    EXPECT_EQ(second.Item(QStringLiteral("IsDebug"))->Value(), QVariant(true));
}

TEST_F(SettingsStore, KeysMissingFromTheStoreKeepTheirDefaults) {
    {
        QSettings store(QSettings::NativeFormat, QSettings::UserScope, kVendor, kTitle);
        store.setValue(QStringLiteral("IsDebug"), true);
    }
    Settings s;
    registerTwo(s);
    QString error;
    EXPECT_EQ(LoadSettings(kTitle, s, kVendor, error), 0);
    EXPECT_EQ(s.Item(QStringLiteral("Name"))->Value(), QVariant(QStringLiteral("默认")));
    EXPECT_EQ(s.Item(QStringLiteral("IsDebug"))->Value(), QVariant(true));
}

TEST_F(SettingsStore, UnwritableStoreIsReportedNotFatal) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "a broken store is a file where its folder belongs; the registry has no such state";
#endif
    // A plain file where the vendor folder should be: works even for root.
    TestSupport::writeFile(dir.filePath(kVendor), "not a folder");
    Settings s;
    registerTwo(s);
    QString error;
    LoadSettings(kTitle, s, kVendor, error);
    EXPECT_EQ(s.Item(QStringLiteral("Name"))->Value(), QVariant(QStringLiteral("默认")));
    QString saveError;
    EXPECT_NE(SaveSettings(kTitle, s, kVendor, 0, &saveError), 0);
    EXPECT_FALSE(saveError.isEmpty());
}
