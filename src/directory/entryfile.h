#pragma once
// Directory entries: one file per entry in the program folder, named after the entry with
// the extension ".tsd", holding the directory server's URL and the room name on two lines
// (code page 932, each line ended by CR LF). The files are the whole list; there is no index.
//
// Read by the field rules of model/fieldfile.h, so files of older copies read as before;
// within quotes, two double quotes stand for one.
// Writing drops the blanks in front of a field, which every reader skips, and quotes only
// what would otherwise not read back (a comma, a line break, a double quote in front), so
// every URL reads back whole and older copies read the same fields.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarnivel {

struct DirectoryEntry
{
    QString url; // the directory server, as typed; the room request is appended to it
    QString room;

    friend bool operator==(const DirectoryEntry &, const DirectoryEntry &) = default;
};

// Entry files are read up to this size; two lines of any sensible length fit many times over.
inline constexpr qint64 MaxEntryFileBytes = 64 * 1024;

QString entryFilePath(const QString &folder, const QString &name);
// The names of the entries in the folder: ordinary files ending in ".tsd", sorted by name.
QStringList listEntries(const QString &folder);

QByteArray serializeEntry(const DirectoryEntry &entry);
// The bytes of an entry file (code page 932). Nothing when they hold fewer than two fields.
[[nodiscard]] std::optional<DirectoryEntry> parseEntry(const QByteArray &bytes);

// Nothing when the file is missing, unreadable or holds fewer than two fields.
[[nodiscard]] std::optional<DirectoryEntry> readEntryFile(const QString &path);
// Creates or replaces the file atomically: a failed write leaves the previous file as it was.
[[nodiscard]] bool writeEntryFile(const QString &path, const DirectoryEntry &entry);

} // namespace tarnivel
