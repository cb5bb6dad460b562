#include "directory/entryfile.h"

#include "model/fieldfile.h"
#include "text/codepage932.h"

#include <QDir>

namespace tarnivel {

namespace {

const QString Suffix = QStringLiteral(".tsd");

using fieldfile::QuoteEscape;

QString fieldLine(const QString &value)
{
    // Judged as the file will hold it. Blanks in front are dropped, as every reader skips
    // them: a room typed as " abc" is the room "abc" for older copies too.
    QString stored = fieldfile::storedText(value);
    const qsizetype blanks = std::find_if_not(stored.begin(), stored.end(), fieldfile::isBlank) - stored.begin();
    stored.remove(0, blanks);
    const bool needsQuotes =
        std::any_of(stored.begin(), stored.end(), fieldfile::isDelimiter) || stored.startsWith(u'"');
    return needsQuotes ? fieldfile::quotedField(stored, QuoteEscape::Doubled) : stored;
}

std::optional<DirectoryEntry> parseEntryText(QStringView text)
{
    fieldfile::FieldReader fields(text, QuoteEscape::Doubled);
    std::optional<QString> url = fields.next();
    std::optional<QString> room = fields.next();
    if (!url || !room)
        return std::nullopt;
    return DirectoryEntry{*url, *room};
}

} // namespace

QString entryFilePath(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name + Suffix);
}

QStringList listEntries(const QString &folder)
{
    const QStringList files =
        QDir(folder).entryList({u'*' + Suffix}, QDir::Files | QDir::Hidden | QDir::CaseSensitive, QDir::Name);
    QStringList names;
    for (const QString &file : files) {
        if (file.size() > Suffix.size())
            names << file.chopped(Suffix.size());
    }
    return names;
}

QByteArray serializeEntry(const DirectoryEntry &entry)
{
    return fieldfile::fieldLines({fieldLine(entry.url), fieldLine(entry.room)});
}

std::optional<DirectoryEntry> parseEntry(const QByteArray &bytes)
{
    return parseEntryText(cp932::decode(bytes));
}

std::optional<DirectoryEntry> readEntryFile(const QString &path)
{
    const auto text = fieldfile::readFieldFile(path, MaxEntryFileBytes);
    return text ? parseEntryText(*text) : std::nullopt;
}

bool writeEntryFile(const QString &path, const DirectoryEntry &entry)
{
    return fieldfile::writeFieldFile(path, serializeEntry(entry));
}

} // namespace tarnivel
