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

class LogRenderer
{
public:
    // Switches undo/redo off: the log never needs it, and its stack would grow with every line.
    LogRenderer(QTextDocument &document, const Preferences &prefs);

    static constexpr int MaxParagraphCharacters = 1024;

    void append(QString text, Emphasis emphasis, Addresses addresses);
    // Appends everything `other` holds, each character with its own format (the lines held
    // back during a lock), and empties `other`.
    void takeAll(LogRenderer &other);
    // Empties the document, text and formatting.
    void clear();
    QTextDocument &document() { return m_document; }

private:
    QTextCharFormat logFormat(Emphasis emphasis) const;
    void insertMarkingAddresses(const QString &text, const QTextCharFormat &format);
    // Inserts text at the end, starting a continuation block wherever the current block
    // would grow past MaxParagraphCharacters.
    void insertBounded(const QString &text, const QTextCharFormat &format);

    QTextDocument &m_document;
    const Preferences &m_prefs;
    // Stays at the end between calls, so an append costs the same however long the log is.
    QTextCursor m_cursor;
    // Document length right after a write that ended in CR; -1 otherwise.
    int m_lengthAfterTrailingCr = -1;
};

} // namespace tarnivel
