#pragma once

#include "ScriptedDialogs.h"

#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>

class frmMain;

// The program on temporary books with its own settings store: a fresh folder
// for the books and the log, the settings store in its "store" folder, modal
// boxes answered from `dialogs`. Nothing is written until a test asks; the
// window is unloaded before the folder goes.
class ProgramTest : public ::testing::Test {
protected:
    ProgramTest();
    ~ProgramTest() override;
    void SetUp() override;
    void TearDown() override;

    QString path(const QString& name) const { return dir.filePath(name); }
    QString storeFolder() const { return path(QStringLiteral("store")); }
    QString storeFile() const { return path(QStringLiteral("store/Pellinor/Mirodex.conf")); }
    // The program's store as it keeps it: storeFile() here, the registry on Windows.
    std::unique_ptr<QSettings> store() const;
    bool storeExists() const { return !store()->allKeys().isEmpty(); }
    void removeStore() const;
    // Stores `values` as an earlier run would have left them.
    void storeValues(const QList<QPair<QString, QVariant>>& values) const;
    // Writes both books (a null array leaves that book missing) and stores
    // their paths and the log's.
    void useBooks(const QByteArray& privateText, const QByteArray& publicText);
    // The window tests' books: two entries in the private one, three in the public one.
    void useSmallBooks();
    // The window, made (not loaded yet) or made and loaded as the program starts.
    frmMain& makeWindow();
    frmMain& startWindow();

    QTemporaryDir dir;
    // Where useBooks puts the books and the log; a test may move them first.
    QString privateBook = path(QStringLiteral("PrivateTel.txt"));
    QString localCopy = path(QStringLiteral("PublicTel.txt"));
    QString logFile = path(QStringLiteral("txl.log"));
    ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> window;
};
