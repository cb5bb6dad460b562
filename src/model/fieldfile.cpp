#include "model/fieldfile.h"

#include "text/codepage932.h"

#include <QFile>
#include <QSaveFile>

namespace tarnivel::fieldfile {

std::optional<QString> FieldReader::next()
{
    while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
        ++m_pos;
    if (m_pos >= m_text.size())
        return std::nullopt;

    QString field;
    if (m_text[m_pos] == u'"') {
        ++m_pos;
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos++];
            if (c != u'"') {
                field += c;
                continue;
            }
            if (m_escape == QuoteEscape::Doubled && m_pos < m_text.size() && m_text[m_pos] == u'"') {
                field += u'"';
                ++m_pos;
                continue;
            }
            break;
        }
        while (m_pos < m_text.size() && !isDelimiter(m_text[m_pos]))
            ++m_pos; // whatever follows the closing quote is dropped
    } else {
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && !isDelimiter(m_text[m_pos]))
            ++m_pos;
        field = m_text.mid(start, m_pos - start).toString();
    }
    skipDelimiter();
    return field;
}

void FieldReader::skipDelimiter()
{
    if (m_pos >= m_text.size())
        return;
    const QChar c = m_text[m_pos++];
    if (c == u'\r' && m_pos < m_text.size() && m_text[m_pos] == u'\n')
        ++m_pos;
}

QString storedText(const QString &text)
{
    return cp932::decode(cp932::encode(text));
}

QString quotedField(QString text, QuoteEscape escape)
{
    if (escape == QuoteEscape::Doubled)
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

QByteArray fieldLines(const QStringList &fields)
{
    QString file;
    for (const QString &field : fields)
        file += field + QStringLiteral("\r\n");
    return cp932::encode(file);
}

std::optional<QString> readFieldFile(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return cp932::decode(file.read(maxBytes));
}

bool writeFieldFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() alone still renames after a short write (disk full, size limit): check
    // the write and the flush ourselves and discard the temporary file on failure.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace tarnivel::fieldfile
