#pragma once
// The conversation log: the one place where text enters the log (AddLog).
// Works on QTextDocuments so that it needs no widgets: the window's log shows `window`,
// while the log is locked lines collect in the hidden `held` document.
//
// Line breaks: CR LF, a lone LF and a lone CR each end a paragraph (a block of the
// document), so the plain text of a document reads back as one line per paragraph.
// A CR LF pair that arrives split over two calls still makes a single break.

#include "app/preferences.h"

#include <QObject>
#include <QString>
#include <QTextCursor>

class QTextCharFormat;
class QTextDocument;

namespace tarnivel {

class SoundPlayer;

class ChatLog : public QObject
{
    Q_OBJECT
public:
    // messageSoundPath: the program folder's "message.wav".
    // Switches undo/redo off on both documents: the log never needs it, and its undo
    // stack would grow with every line.
    ChatLog(QTextDocument &window, QTextDocument &held, Preferences &prefs, SoundPlayer &sound,
            QString messageSoundPath, QObject *parent = nullptr);

    // Append text (callers pass their own CR LF). Private text (holding 0x01 anywhere) is bold
    // italic without its marks; lower-case "http://" addresses are underlined.
    void addLog(const QString &text);

    // Append text to the window's document in the log's colour and font, bold and italic,
    // with no address marking and no sound (the addressee line of a private message).
    void appendEmphasised(const QString &text);

    // Removes every PrivateMark from text; true when at least one was removed.
    static bool stripMark(QString &text);

    bool screenLocked() const { return m_screenLocked; }
    void setScreenLocked(bool locked) { m_screenLocked = locked; }

    QTextDocument &window() { return m_window; }
    QTextDocument &held() { return m_held; }

signals:
    // Text went into the window's document: the view keeps its end in sight.
    void appendedToWindow();

private:
    // Where appends go in one document. The cursor stays at the end between calls, so an
    // append costs the same however long the log has grown.
    struct Sink
    {
        QTextDocument &document;
        QTextCursor cursor;
        // Document length right after a write that ended in CR; -1 otherwise.
        int lengthAfterTrailingCr = -1;
    };

    enum class Emphasis { Off, On };
    enum class Addresses { Plain, Underlined };

    QTextCharFormat logFormat(Emphasis emphasis) const;
    void write(Sink &sink, QString text, Emphasis emphasis, Addresses addresses);
    static void insertMarkingAddresses(QTextCursor &cursor, const QString &text,
                                       const QTextCharFormat &format);

    QTextDocument &m_window;
    QTextDocument &m_held;
    Preferences &m_prefs;
    SoundPlayer &m_sound;
    QString m_messageSoundPath;
    bool m_screenLocked = false;
    Sink m_windowSink;
    Sink m_heldSink;
};

} // namespace tarnivel
