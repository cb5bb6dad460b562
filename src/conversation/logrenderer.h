#pragma once
// Writes text at the end of one log document in the user's font and colour: emphasised
// text bold italic, lower-case "http://" addresses underlined.
//
// Line breaks: CR LF, a lone LF and a lone CR each end a paragraph (a block of the
// document), so the plain text of a document reads back as one line per paragraph.
// A CR LF pair that arrives split over two calls still makes a single break.
//
// A line longer than MaxParagraphCharacters goes on in further blocks marked as continuing
// it, so that appending to it and laying it out cost time in proportion to what arrives,
// however long a peer's line is. logText() joins such blocks again: saved and copied text
// holds every line as it arrived.
//
// A document holds at most LogLimits: past either limit the oldest whole lines leave it, a
// tenth of the limit at a time, so that a view lays the document out again only once in
// that many lines. A line longer than all that keeps its newest part, which then starts
// the document as a line of its own.

#include "model/preferences.h"

#include <QString>
#include <QTextCursor>

class QTextBlock;
class QTextCharFormat;
class QTextDocument;

namespace tarnivel {

enum class Emphasis { Off, On };

// The log's text, one line per line (continuation blocks joined), lines separated by
// lineBreak; every character as written.
QString logText(const QTextDocument &document, const QString &lineBreak = QStringLiteral("\n"));
// The same for the selection of a cursor into the log.
QString logText(const QTextCursor &selection, const QString &lineBreak = QStringLiteral("\n"));
// Whether a block goes on with the line of the block before it (a line longer than
// MaxParagraphCharacters).
bool continuesLine(const QTextBlock &block);
enum class Addresses { Plain, Underlined };

struct LogLimits
{
    // 200 000 lines of chat, the text of about 8 MB of arriving lines: some 100 MB of a
    // shown log's memory at most.
    int blocks = 200'000;
    int characters = 8 * 1024 * 1024;
};

class LogRenderer
{
public:
    // Switches undo/redo off: the log never needs it, and its stack would grow with every line.
    LogRenderer(QTextDocument &document, const Preferences &prefs);

    static constexpr int MaxParagraphCharacters = 1024;

    // Both return how many characters left the start of the document to keep it within its
    // limits (positions taken before the call move back by that much).
    int append(QString text, Emphasis emphasis, Addresses addresses);
    // Appends everything `other` holds, each character with its own format (the lines held
    // back during a lock), and empties `other`.
    int takeAll(LogRenderer &other);
    // Empties the document, text and formatting.
    void clear();
    QTextDocument &document() { return m_document; }
    void setLimits(const LogLimits &limits) { m_limits = limits; }
    const LogLimits &limits() const { return m_limits; }

private:
    QTextCharFormat logFormat(Emphasis emphasis) const;
    void insertMarkingAddresses(const QString &text, const QTextCharFormat &format);
    // Inserts text at the end, starting a continuation block wherever the current block
    // would grow past MaxParagraphCharacters.
    void insertBounded(const QString &text, const QTextCharFormat &format);
    // Removes the oldest lines once the document is past its limits; the characters removed.
    int trimToLimits();

    QTextDocument &m_document;
    const Preferences &m_prefs;
    // Stays at the end between calls, so an append costs the same however long the log is.
    QTextCursor m_cursor;
    LogLimits m_limits;
    // Document length right after a write that ended in CR; -1 otherwise.
    int m_lengthAfterTrailingCr = -1;
};

} // namespace tarnivel
