#include "conversation/logfile.h"

#include "conversation/logrenderer.h"
#include "text/codepage932.h"
#include "text/logging.h"

#include <QDate>
#include <QPointer>
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

void save(QTextDocument &log, SavePathChooser &chooser, const QDate &today, std::function<void(bool)> saved)
{
    chooser.chooseSavePath(
        proposedName(today),
        [document = QPointer<QTextDocument>(&log), saved = std::move(saved)](const std::optional<QString> &path) {
            const bool written = document && path && !path->isEmpty() && write(*path, *document);
            if (saved)
                saved(written);
        });
}

} // namespace tarnivel::logfile
