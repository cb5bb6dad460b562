#include "directory/entryfile.h"

#include "platform/codepage932.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace tarnivel {

namespace {

const QString Suffix = QStringLiteral(".tsd");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

bool isDelimiter(QChar c)
{
    return c == u',' || isLineEnd(c);
}

// The next field from pos; pos moves past its delimiter. Nothing at the end of the text.
std::optional<QString> nextField(QStringView text, qsizetype &pos)
{
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos >= text.size())
        return std::nullopt;

    QString field;
    if (text[pos] == u'"') {
        ++pos;
        while (pos < text.size()) {
            if (text[pos] == u'"') {
                if (pos + 1 < text.size() && text[pos + 1] == u'"') {
                    field += u'"';
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            field += text[pos++];
        }
        while (pos < text.size() && !isDelimiter(text[pos]))
            ++pos;
    } else {
        const qsizetype start = pos;
        while (pos < text.size() && !isDelimiter(text[pos]))
            ++pos;
        field = text.mid(start, pos - start).toString();
    }
    if (pos < text.size()) {
        const QChar delimiter = text[pos++];
        if (delimiter == u'\r' && pos < text.size() && text[pos] == u'\n')
            ++pos;
    }
    return field;
}

QString fieldLine(const QString &value)
{
    // Judged as the file will hold it. Blanks in front are dropped, as every reader skips
    // them: a room typed as " abc" is the room "abc" for older copies too.
    QString stored = cp932::decode(cp932::encode(value));
    const qsizetype blanks = std::find_if_not(stored.begin(), stored.end(), isBlank) - stored.begin();
    stored.remove(0, blanks);
    const bool needsQuotes = std::any_of(stored.begin(), stored.end(), isDelimiter) || stored.startsWith(u'"');
    if (!needsQuotes)
        return stored;
    stored.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + stored + u'"';
}

} // namespace

QString entryFilePath(const QString &folder, const QString &name)
{
    return QDir(folder).filePath(name + Suffix);
}

QStringList listEntries(const QString &folder)
{
    const QStringList files = QDir(folder).entryList({u'*' + Suffix}, QDir::Files | QDir::Hidden | QDir::CaseSensitive,
                                                    QDir::Name);
    QStringList names;
    for (const QString &file : files) {
        if (file.size() > Suffix.size())
            names << file.chopped(Suffix.size());
    }
    return names;
}

QByteArray serializeEntry(const DirectoryEntry &entry)
{
    return cp932::encode(fieldLine(entry.url) + QStringLiteral("\r\n") + fieldLine(entry.room) + QStringLiteral("\r\n"));
}

std::optional<DirectoryEntry> parseEntry(const QByteArray &bytes)
{
    const QString text = cp932::decode(bytes);
    qsizetype pos = 0;
    std::optional<QString> url = nextField(text, pos);
    std::optional<QString> room = nextField(text, pos);
    if (!url || !room)
        return std::nullopt;
    return DirectoryEntry{*url, *room};
}

std::optional<DirectoryEntry> readEntryFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseEntry(file.read(MaxEntryFileBytes));
}

bool writeEntryFile(const QString &path, const DirectoryEntry &entry)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = serializeEntry(entry);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tarnivel
