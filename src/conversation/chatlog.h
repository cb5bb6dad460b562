#pragma once
// The conversation log: the one place where text enters the log (AddLog).
// Works on QTextDocuments so that it needs no widgets: the window's log shows `window`,
// while the log is locked lines collect in the hidden `held` document.

#include "app/preferences.h"

#include <QObject>
#include <QString>

class QTextDocument;

namespace tarnivel {

class SoundPlayer;

class ChatLog : public QObject
{
    Q_OBJECT
public:
    // messageSoundPath: the program folder's "message.wav".
    ChatLog(QTextDocument &window, QTextDocument &held, Preferences &prefs, SoundPlayer &sound,
            QString messageSoundPath, QObject *parent = nullptr);

    // Append text (callers pass their own CR LF). Private text (holding 0x01 anywhere) is bold
    // italic without its marks; lower-case "http://" addresses are underlined.
    void addLog(const QString &text);

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
    QTextDocument &m_window;
    QTextDocument &m_held;
    Preferences &m_prefs;
    SoundPlayer &m_sound;
    QString m_messageSoundPath;
    bool m_screenLocked = false;
};

} // namespace tarnivel
