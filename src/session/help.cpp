#include "session/help.h"

#include "conversation/chatlog.h"
#include "desktop/urlopener.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace tarnivel::help {

QString cannotOpenLine(const QString &path)
{
    return QStringLiteral(" ●ヘルプを開けません: ") + QDir::toNativeSeparators(path) + QStringLiteral("\r\n");
}

bool open(const QString &programFolder, const QString &shippedFolder, UrlOpener &opener, ChatLog &log)
{
    const QString shipped = QDir(shippedFolder).filePath(helpFileName());
    const QString candidates[] = {QDir(programFolder).filePath(oldHelpFileName()),
                                  QDir(shippedFolder).filePath(oldHelpFileName()), shipped};
    QStringList tried;
    for (const QString &path : candidates) {
        if (tried.contains(path) || !QFileInfo(path).isFile())
            continue;
        tried << path;
        if (opener.open(QUrl::fromLocalFile(path)))
            return true;
    }
    log.addLog(cannotOpenLine(shipped), Chime::Never);
    return false;
}

} // namespace tarnivel::help
