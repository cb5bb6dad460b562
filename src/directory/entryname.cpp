#include "directory/entryname.h"

namespace tarnivel {

bool validEntryName(const QString &text)
{
    static const QString forbidden = QStringLiteral("\\/:,;*?\"<>|.");
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (forbidden.contains(c))
            return false;
    }
    return true;
}

} // namespace tarnivel
