#pragma once
// The comma/line field files older copies wrote ("tarnivel.dat" and the ".tsd" entries),
// in code page 932, read and written in one place.
//
// Reading: a field ends at a comma or a line end (CR LF, LF or a lone CR), blanks in front
// of it are skipped, an empty line is an empty field, and a field that starts with a double
// quote runs to its closing quote (what follows up to the delimiter is dropped; with no
// closing quote the end of the text ends it). Whether two double quotes inside quotes stand
// for one is the file's choice (QuoteEscape).
//
// Writing: each file decides which text needs quotes; quotedField wraps it, and
// writeFieldFile ends every field with CR LF and replaces the file atomically.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace tarnivel::fieldfile {

enum class QuoteEscape {
    None,    // a quoted field ends at the next double quote; it cannot hold one
    Doubled, // "" inside quotes stands for one double quote
};

[[nodiscard]] constexpr bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

[[nodiscard]] constexpr bool isLineEnd(QChar c)
{
    return c == u'\r' || c == u'\n';
}

[[nodiscard]] constexpr bool isDelimiter(QChar c)
{
    return c == u',' || isLineEnd(c);
}

// Hands out a file's fields one by one.
class FieldReader
{
public:
    FieldReader(QStringView text, QuoteEscape escape) : m_text(text), m_escape(escape) {}

    // std::nullopt when the text holds no further field.
    [[nodiscard]] std::optional<QString> next();

private:
    void skipDelimiter();

    QStringView m_text;
    QuoteEscape m_escape;
    qsizetype m_pos = 0;
};

// The text as the file will hold it: what code page 932 cannot carry is already replaced,
// so the need for quotes is judged on what is really written.
[[nodiscard]] QString storedText(const QString &text);

// The text inside double quotes. With QuoteEscape::Doubled every '"' is doubled; with
// QuoteEscape::None the caller has already removed them.
[[nodiscard]] QString quotedField(QString text, QuoteEscape escape);

// The file's bytes: each field followed by CR LF, in code page 932.
[[nodiscard]] QByteArray fieldLines(const QStringList &fields);

// The decoded text of at most maxBytes of the file; std::nullopt when it cannot be opened.
[[nodiscard]] std::optional<QString> readFieldFile(const QString &path, qint64 maxBytes);

// Creates or replaces the file atomically: a failed write leaves the previous file as it was.
[[nodiscard]] bool writeFieldFile(const QString &path, const QByteArray &bytes);

} // namespace tarnivel::fieldfile
