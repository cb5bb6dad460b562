#include "ui/programicon.h"

// The icons are compiled into this library; a static library's resources must be registered
// by hand, outside any namespace.
static void registerIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace tarnivel {

QIcon programIcon()
{
    static const bool registered = (registerIconResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/tarnivel/icons/tarnivel-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace tarnivel
