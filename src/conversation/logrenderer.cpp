#include "conversation/logrenderer.h"

#include "model/colorvalue.h"

#include <algorithm>

#include <QFont>
#include <QGuiApplication>
#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocumentFragment>
#include <QTextDocument>

namespace tarnivel {

namespace {

const QString addressStart = QStringLiteral("http://");

// Characters an address may hold: printable ASCII without the space, and half-width katakana.
// Anything else (blank, line break, tab, full-width text) ends the address.
bool isAddressCharacter(QChar c)
{
    const char16_t code = c.unicode();
    return (code >= 0x21 && code <= 0x7E) || (code >= 0xFF61 && code <= 0xFF9F);
}

qsizetype addressEnd(const QString &text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && isAddressCharacter(text.at(end)))
        ++end;
    return end;
}

// Marks a block that goes on with the line of the block before it.
constexpr int ContinuesLine = QTextFormat::UserProperty + 1;

bool isLineBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator;
}

} // namespace

bool continuesLine(const QTextBlock &block)
{
    return block.blockFormat().boolProperty(ContinuesLine);
}

QString logText(const QTextDocument &document, const QString &lineBreak)
{
    QString text;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin() && !continuesLine(block))
            text += lineBreak;
        text += block.text();
    }
    return text;
}

QString logText(const QTextCursor &selection, const QString &lineBreak)
{
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    const QTextDocument &document = *selection.document();
    QString text;
    for (QTextBlock block = document.findBlock(start); block.isValid() && block.position() <= end;
         block = block.next()) {
        if (block.position() > start && !continuesLine(block))
            text += lineBreak;
        const int from = std::max(start - block.position(), 0);
        const int to = std::min(end - block.position(), block.length() - 1);
        text += block.text().mid(from, std::max(to - from, 0));
    }
    return text;
}

LogRenderer::LogRenderer(QTextDocument &document, const Preferences &prefs)
    : m_document(document)
    , m_prefs(prefs)
    , m_cursor(&document)
{
    m_document.setUndoRedoEnabled(false);
}

QTextCharFormat LogRenderer::logFormat(Emphasis emphasis) const
{
    QTextCharFormat format;
    applyColorValue(format, m_prefs.textColor, QGuiApplication::palette());
    format.setFontFamilies(QStringList{m_prefs.logFontName});
    // A size the settings file made nonsensical leaves the document's own size.
    if (m_prefs.logFontSize > 0)
        format.setFontPointSize(m_prefs.logFontSize);
    const bool on = emphasis == Emphasis::On;
    format.setFontWeight(on ? QFont::Bold : QFont::Normal);
    format.setFontItalic(on);
    format.setFontUnderline(false);
    return format;
}

int LogRenderer::append(QString text, Emphasis emphasis, Addresses addresses)
{
    m_cursor.movePosition(QTextCursor::End);

    if (!text.isEmpty()) {
        // The CR of a CR LF pair cut by the network already ended the line.
        const bool secondHalfOfPair = text.front() == u'\n' && m_lengthAfterTrailingCr == m_document.characterCount();
        if (secondHalfOfPair)
            text.remove(0, 1);
        m_lengthAfterTrailingCr = -1;
    }

    const QTextCharFormat format = logFormat(emphasis);
    const QTextCharFormat plain = logFormat(Emphasis::Off);

    // One edit block: the views lay the document out once per call, not once per piece.
    m_cursor.beginEditBlock();
    if (addresses == Addresses::Underlined)
        insertMarkingAddresses(text, format);
    else
        insertBounded(text, format);
    // Text added at the end from now on starts plain; an empty last line takes that too.
    if (m_cursor.block().length() == 1)
        m_cursor.setBlockCharFormat(plain);
    m_cursor.endEditBlock();
    m_cursor.setCharFormat(plain);

    if (text.endsWith(u'\r'))
        m_lengthAfterTrailingCr = m_document.characterCount();
    return trimToLimits();
}

int LogRenderer::takeAll(LogRenderer &other)
{
    if (other.m_document.isEmpty())
        return 0;
    // A CR LF pair that the network cut at the end of the held text still makes one break.
    const bool endsInCr = other.m_lengthAfterTrailingCr == other.m_document.characterCount();
    m_cursor.movePosition(QTextCursor::End);
    m_cursor.insertFragment(QTextDocumentFragment(&other.m_document));
    m_cursor.setCharFormat(logFormat(Emphasis::Off));
    m_lengthAfterTrailingCr = endsInCr ? m_document.characterCount() : -1;
    other.clear();
    return trimToLimits();
}

int LogRenderer::trimToLimits()
{
    const int blocks = m_document.blockCount();
    const int characters = m_document.characterCount();
    if (blocks <= m_limits.blocks && characters <= m_limits.characters)
        return 0;
    const int keepBlocks = m_limits.blocks - m_limits.blocks / 10;
    const int keepCharacters = m_limits.characters - m_limits.characters / 10;
    // The first block to keep: enough gone, never the last block (where text is written).
    QTextBlock first = m_document.begin();
    int blocksLeft = blocks;
    int charactersLeft = characters;
    const QTextBlock last = m_document.lastBlock();
    while ((blocksLeft > keepBlocks || charactersLeft > keepCharacters) && first != last) {
        charactersLeft -= first.length();
        --blocksLeft;
        first = first.next();
    }
    // Whole lines go; unless no other line would be left, and the line keeps its newest part.
    QTextBlock lineStart = first;
    while (lineStart != last && continuesLine(lineStart))
        lineStart = lineStart.next();
    if (lineStart != last)
        first = lineStart;
    const int removed = first.position();
    if (removed == 0)
        return 0;
    QTextCursor cut(&m_document);
    cut.setPosition(removed, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    // What is left starts a line (the removal may have left the format of the block it began in).
    if (continuesLine(m_document.begin())) {
        QTextBlockFormat format = m_document.begin().blockFormat();
        format.clearProperty(ContinuesLine);
        cut.setBlockFormat(format);
    }
    if (m_lengthAfterTrailingCr >= 0)
        m_lengthAfterTrailingCr -= removed;
    return removed;
}

void LogRenderer::clear()
{
    m_document.clear();
    m_cursor = QTextCursor(&m_document);
    m_lengthAfterTrailingCr = -1;
}

void LogRenderer::insertMarkingAddresses(const QString &text, const QTextCharFormat &format)
{
    QTextCharFormat underlined = format;
    underlined.setFontUnderline(true);

    qsizetype p = 0;
    while (p < text.size()) {
        const qsizetype found = text.indexOf(addressStart, p, Qt::CaseSensitive);
        if (found < 0) {
            insertBounded(text.mid(p), format);
            return;
        }
        if (found > p)
            insertBounded(text.mid(p, found - p), format);
        const qsizetype end = addressEnd(text, found);
        insertBounded(text.mid(found, end - found), underlined);
        p = end;
    }
}

void LogRenderer::insertBounded(const QString &text, const QTextCharFormat &format)
{
    QTextBlockFormat continuation;
    continuation.setProperty(ContinuesLine, true);
    const qsizetype size = text.size();
    qsizetype p = 0;
    while (p < size) {
        qsizetype lineEnd = p;
        while (lineEnd < size && !isLineBreak(text.at(lineEnd)))
            ++lineEnd;
        while (p < lineEnd) {
            const qsizetype room = MaxParagraphCharacters - (m_cursor.block().length() - 1);
            qsizetype take = std::min(room, lineEnd - p);
            // A surrogate pair stays in one block.
            if (take > 0 && take < lineEnd - p && text.at(p + take - 1).isHighSurrogate())
                --take;
            if (take <= 0) {
                m_cursor.insertBlock(continuation, format);
                continue;
            }
            m_cursor.insertText(text.mid(p, take), format);
            p += take;
        }
        // Each break starts a line of its own (never a continuation): CR LF, CR, LF.
        while (p < size && isLineBreak(text.at(p))) {
            p += (text.at(p) == u'\r' && p + 1 < size && text.at(p + 1) == u'\n') ? 2 : 1;
            m_cursor.insertBlock(QTextBlockFormat(), format);
        }
    }
}

} // namespace tarnivel
