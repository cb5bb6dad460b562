#include "session/help.h"

#include "conversation/chatlog.h"
#include "platform/urlopener.h"

#include <QDir>
#include <QFileInfo>

namespace tarnivel::help {

QString cannotOpenLine(const QString &path)
{
    return QStringLiteral(" ●ヘルプを開けません: ") + QDir::toNativeSeparators(path) + QStringLiteral("\r\n");
}

bool open(const QString &shippedFolder, UrlOpener &opener, ChatLog &log)
{
    const QDir folder(shippedFolder);
    const QString oldHelp = folder.filePath(oldHelpFileName());
    if (QFileInfo(oldHelp).isFile() && opener.open(QUrl::fromLocalFile(oldHelp)))
        return true;
    const QString shipped = folder.filePath(helpFileName());
    if (QFileInfo(shipped).isFile() && opener.open(QUrl::fromLocalFile(shipped)))
        return true;
    log.addLog(cannotOpenLine(shipped));
    return false;
}

} // namespace tarnivel::help
