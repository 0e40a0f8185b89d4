#pragma once

#include <QIcon>

namespace AppIcon {
// The program's icon in every size it ships (16 to 256 pixels).
QIcon icon();
} // namespace AppIcon
