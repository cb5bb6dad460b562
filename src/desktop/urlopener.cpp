#include "desktop/urlopener.h"

#include <QDesktopServices>

namespace tarnivel {

bool DesktopUrlOpener::open(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace tarnivel
