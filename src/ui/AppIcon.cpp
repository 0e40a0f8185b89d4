#include "AppIcon.h"

#include <QString>

// Resources in a static library are only linked in when something refers to them.
static void registerIconResources() {
    Q_INIT_RESOURCE(mirodex);
}

namespace AppIcon {

QIcon icon() {
    static const bool registered = (registerIconResources(), true);
    Q_UNUSED(registered);
    QIcon result;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        result.addFile(QStringLiteral(":/icons/mirodex-%1.png").arg(size), QSize(size, size));
    return result;
}

} // namespace AppIcon
