#pragma once
// Saving the log as a plain-text file: code page 932, one CR LF after each line, no formatting.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

class QDate;
class QTextDocument;

namespace tarnivel {

// Asks the user where to save, and returns; `chosen` runs with the path once the user has
// answered, or with nothing when cancelled.
class SavePathChooser
{
public:
    using Chosen = std::function<void(const std::optional<QString> &path)>;
    virtual ~SavePathChooser() = default;
    virtual void chooseSavePath(const QString &proposedName, Chosen chosen) = 0;
};

namespace logfile {

// "yymmdd.txt" for the given day.
QString proposedName(const QDate &day);

// The log's text as the file holds it.
QByteArray bytesOf(const QTextDocument &log);

// Replaces the file at path as a whole, or leaves it untouched on failure (a warning of tarnivel.app).
[[nodiscard]] bool write(const QString &path, const QTextDocument &log);

// The save command: proposes today's name, asks, and once answered writes the log as it is
// then (unless it is gone). Cancelling writes nothing. `saved` says whether a file was written.
void save(QTextDocument &log, SavePathChooser &chooser, const QDate &today, std::function<void(bool)> saved = {});

} // namespace logfile
} // namespace tarnivel
