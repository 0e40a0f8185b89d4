#include "QtTranslations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

bool QtTranslations::Install(QCoreApplication& app) {
    const QStringList folders = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                 QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"))};
    auto* translator = new QTranslator(&app);
    for (const QString& folder : folders) {
        // An installed translator that loaded nothing would still be asked for every text.
        if (translator->load(QStringLiteral("qtbase_zh_CN"), folder) && QCoreApplication::installTranslator(translator))
            return true;
    }
    delete translator;
    return false;
}
