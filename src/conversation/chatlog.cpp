#include "conversation/chatlog.h"

#include "app/colorvalue.h"
#include "mesh/wire.h"
#include "platform/sound.h"

#include <QFont>
#include <QGuiApplication>
#include <QStringList>
#include <QTextBlock>
#include <QTextCharFormat>
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

} // namespace

ChatLog::ChatLog(QTextDocument &window, QTextDocument &held, Preferences &prefs, SoundPlayer &sound,
                 QString messageSoundPath, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_held(held)
    , m_prefs(prefs)
    , m_sound(sound)
    , m_messageSoundPath(std::move(messageSoundPath))
    , m_windowSink{window, QTextCursor(&window)}
    , m_heldSink{held, QTextCursor(&held)}
{
    m_window.setUndoRedoEnabled(false);
    m_held.setUndoRedoEnabled(false);
}

bool ChatLog::stripMark(QString &text)
{
    const qsizetype before = text.size();
    text.remove(wire::PrivateMark);
    return text.size() != before;
}

void ChatLog::addLog(const QString &text)
{
    QString copy = text;
    const Emphasis emphasis = stripMark(copy) ? Emphasis::On : Emphasis::Off;
    const bool toWindow = !m_screenLocked;
    write(toWindow ? m_windowSink : m_heldSink, std::move(copy), emphasis, Addresses::Underlined);
    if (!toWindow)
        return;
    emit appendedToWindow();
    if (m_prefs.messageSound)
        m_sound.play(m_messageSoundPath);
}

void ChatLog::appendEmphasised(const QString &text)
{
    write(m_windowSink, text, Emphasis::On, Addresses::Plain);
    emit appendedToWindow();
}

QTextCharFormat ChatLog::logFormat(Emphasis emphasis) const
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

void ChatLog::write(Sink &sink, QString text, Emphasis emphasis, Addresses addresses)
{
    QTextCursor &cursor = sink.cursor;
    cursor.movePosition(QTextCursor::End);

    if (!text.isEmpty()) {
        // The CR of a CR LF pair cut by the network already ended the line.
        const bool secondHalfOfPair = text.front() == u'\n'
            && sink.lengthAfterTrailingCr == sink.document.characterCount();
        if (secondHalfOfPair)
            text.remove(0, 1);
        sink.lengthAfterTrailingCr = -1;
    }

    const QTextCharFormat format = logFormat(emphasis);
    const QTextCharFormat plain = logFormat(Emphasis::Off);

    // One edit block: the views lay the document out once per call, not once per piece.
    cursor.beginEditBlock();
    if (addresses == Addresses::Underlined)
        insertMarkingAddresses(cursor, text, format);
    else
        cursor.insertText(text, format);
    // Text added at the end from now on starts plain; an empty last line takes that too.
    if (cursor.block().length() == 1)
        cursor.setBlockCharFormat(plain);
    cursor.endEditBlock();
    cursor.setCharFormat(plain);

    if (text.endsWith(u'\r'))
        sink.lengthAfterTrailingCr = sink.document.characterCount();
}

void ChatLog::insertMarkingAddresses(QTextCursor &cursor, const QString &text,
                                     const QTextCharFormat &format)
{
    QTextCharFormat underlined = format;
    underlined.setFontUnderline(true);

    qsizetype p = 0;
    while (p < text.size()) {
        const qsizetype found = text.indexOf(addressStart, p, Qt::CaseSensitive);
        if (found < 0) {
            cursor.insertText(text.mid(p), format);
            return;
        }
        if (found > p)
            cursor.insertText(text.mid(p, found - p), format);
        const qsizetype end = addressEnd(text, found);
        cursor.insertText(text.mid(found, end - found), underlined);
        p = end;
    }
}

} // namespace tarnivel
