#include "conversation/logfile.h"

#include "conversation/logrenderer.h"
#include "platform/codepage932.h"
#include "platform/logging.h"

#include <QDate>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>

namespace tarnivel::logfile {

QString proposedName(const QDate &day)
{
    return day.toString(QStringLiteral("yyMMdd")) + QStringLiteral(".txt");
}

QByteArray bytesOf(const QTextDocument &log)
{
    // Every character as written (toPlainText would turn no-break spaces into blanks), and
    // a long line whole.
    return cp932::encode(logText(log, QStringLiteral("\r\n")));
}

bool write(const QString &path, const QTextDocument &log)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray bytes = bytesOf(log);
        if (file.write(bytes) == bytes.size() && file.commit())
            return true;
    }
    qCWarning(lcApp, "could not save the log to %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

bool save(const QTextDocument &log, SavePathChooser &chooser, const QDate &today)
{
    const std::optional<QString> path = chooser.chooseSavePath(proposedName(today));
    if (!path || path->isEmpty())
        return false;
    return write(*path, log);
}

} // namespace tarnivel::logfile
