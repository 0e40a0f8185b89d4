#pragma once

#include <QString>

// Names the program shows and stores under. The product name is what users see;
// the title and vendor name are where the settings store keeps its values.
namespace AppInfo {
inline QString ProductName() {
    return QStringLiteral("Lumeo电话簿");
}
inline QString Title() {
    return QStringLiteral("Mirodex");
}
inline QString VendorName() {
    return QStringLiteral("Pellinor");
}
} // namespace AppInfo
