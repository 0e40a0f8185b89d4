#pragma once

class QCoreApplication;

// Qt's own texts (standard buttons, the line edit's menu) in Chinese, to
// match the rest of the program.
namespace QtTranslations {

// Loads qtbase_zh_CN from Qt's translations folder, or from "translations"
// beside the program where a copy brings its own, and installs it on `app`.
// Call after the application object exists and before any widget. Without
// the file Qt's English texts stay; answers whether it was installed.
bool Install(QCoreApplication& app);

} // namespace QtTranslations
