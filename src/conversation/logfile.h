#pragma once
// Saving the log as a plain-text file: code page 932, one CR LF after each line, no formatting.

#include <QByteArray>
#include <QString>
#include <optional>

class QDate;
class QTextDocument;

namespace tarnivel {

// Asks the user where to save; nothing when cancelled.
class SavePathChooser
{
public:
    virtual ~SavePathChooser() = default;
    virtual std::optional<QString> chooseSavePath(const QString &proposedName) = 0;
};

namespace logfile {

// "yymmdd.txt" for the given day.
QString proposedName(const QDate &day);

// The log's text as the file holds it.
QByteArray bytesOf(const QTextDocument &log);

// Replaces the file at path as a whole, or leaves it untouched on failure (a warning of tarnivel.app).
[[nodiscard]] bool write(const QString &path, const QTextDocument &log);

// The save command: proposes today's name, asks, writes. Cancelling writes nothing.
bool save(const QTextDocument &log, SavePathChooser &chooser, const QDate &today);

} // namespace logfile
} // namespace tarnivel
