#pragma once
// The conversation log: the one place where text enters the log (addLog, and
// appendEmphasised for the "To" line). Works on QTextDocuments so that it needs no widgets:
// the window's log view shows `document`, and while the log is locked, lines collect in the
// hidden `held` document. Each document keeps at most its LogLimits, dropping its oldest
// lines; saving saves what the window holds.

#include "conversation/logrenderer.h"
#include "model/preferences.h"

#include <QObject>
#include <QString>

class QTextDocument;

namespace tarnivel {

class SoundPlayer;

// Whether writing a line into the window may play the message sound (if switched on).
// The connected line never does.
enum class Chime { IfSwitchedOn, Never };

class ChatLog : public QObject
{
    Q_OBJECT
public:
    // messageSoundPath: the shipped "message.wav".
    ChatLog(QTextDocument &document, QTextDocument &held, const Preferences &prefs, SoundPlayer &sound,
            QString messageSoundPath, QObject *parent = nullptr);

    // Append text (callers pass their own CR LF). Private text (holding the private mark
    // anywhere) is emphasised without its marks; addresses are underlined.
    void addLog(const QString &text, Chime chime = Chime::IfSwitchedOn);

    // Append text emphasised, with no address marking and no sound (the addressee line of
    // a private message); held back like any line while the log is locked.
    void appendEmphasised(const QString &text);

    bool screenLocked() const { return m_screenLocked; }
    // Locking starts an empty held document; from then on lines go there, silently.
    void lockScreen();
    // Moves the held lines, formatted as they were written, to the end of the window, then
    // adds the empty text: the end comes into view and the message sound plays once.
    void unlockScreen();
    // Empties the log's document; lines held back by a lock stay held.
    void clearWindow();
    // For both documents (tests make them small).
    void setLimits(const LogLimits &limits);

    QTextDocument &document() { return m_window.document(); }
    QTextDocument &held() { return m_held.document(); }

signals:
    // Text went into the window's document, beginning at this position (as it is once the
    // oldest lines have left): the view keeps its end in sight, and the unread marker goes
    // before the first line that arrived unseen.
    void appendedToWindow(int position);

private:
    const Preferences &m_prefs;
    SoundPlayer &m_sound;
    QString m_messageSoundPath;
    bool m_screenLocked = false;
    LogRenderer m_window;
    LogRenderer m_held;
};

} // namespace tarnivel
