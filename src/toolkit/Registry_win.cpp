#include "Toolkit.h"

#include <QDir>

#include <windows.h>

#include <string>

namespace Toolkit {

namespace {

HKEY rootOf(const QString& name) {
    if (name == u"HKEY_CURRENT_USER" || name == u"HKCU")
        return HKEY_CURRENT_USER;
    if (name == u"HKEY_LOCAL_MACHINE" || name == u"HKLM")
        return HKEY_LOCAL_MACHINE;
    if (name == u"HKEY_CLASSES_ROOT" || name == u"HKCR")
        return HKEY_CLASSES_ROOT;
    if (name == u"HKEY_USERS" || name == u"HKU")
        return HKEY_USERS;
    return nullptr;
}

QString systemMessage(LSTATUS code) {
    return qt_error_string(int(code));
}

// Explorer hands a web address to the browser the user chose as default,
// whatever the registry says about Internet Explorer (gone from Windows 11).
QString defaultBrowserOpener() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return QStringLiteral("explorer.exe");
    return QDir::toNativeSeparators(QString::fromWCharArray(folder, int(length)) + QStringLiteral("/explorer.exe"));
}

} // namespace

QString ReadRegValue(const QString& rootKey, const QString& subKey, const QString& valueName, QString& status) {
    if (subKey.endsWith(QStringLiteral("\\App Paths\\IEXPLORE.EXE"), Qt::CaseInsensitive)) {
        status = QStringLiteral("OK");
        return defaultBrowserOpener();
    }
    const HKEY root = rootOf(rootKey);
    if (!root) {
        status = QStringLiteral("未知的注册表根键：") + rootKey;
        return QString();
    }
    const std::wstring key = subKey.toStdWString();
    const std::wstring name = valueName.toStdWString();
    DWORD bytes = 0;
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ;
    LSTATUS result = RegGetValueW(root, key.c_str(), name.c_str(), flags, nullptr, nullptr, &bytes);
    if (result != ERROR_SUCCESS) {
        status = systemMessage(result);
        return QString();
    }
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = DWORD(value.size() * sizeof(wchar_t));
    result = RegGetValueW(root, key.c_str(), name.c_str(), flags, nullptr, value.data(), &bytes);
    if (result != ERROR_SUCCESS) {
        status = systemMessage(result);
        return QString();
    }
    status = QStringLiteral("OK");
    return QString::fromWCharArray(value.c_str());
}

} // namespace Toolkit
