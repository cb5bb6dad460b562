#include "conversation/chatlog.h"

#include "conversation/chatline.h"
#include "desktop/sound.h"

#include <algorithm>

namespace tarnivel {

ChatLog::ChatLog(QTextDocument &document, QTextDocument &held, const Preferences &prefs, SoundPlayer &sound,
                 QString messageSoundPath, QObject *parent)
    : QObject(parent)
    , m_prefs(prefs)
    , m_sound(sound)
    , m_messageSoundPath(std::move(messageSoundPath))
    , m_window(document, prefs)
    , m_held(held, prefs)
{}

void ChatLog::addLog(const QString &text, Chime chime)
{
    QString copy = text;
    const Emphasis emphasis = chatline::stripPrivateMarks(copy) ? Emphasis::On : Emphasis::Off;
    if (m_screenLocked) {
        m_held.append(std::move(copy), emphasis, Addresses::Underlined);
        return;
    }
    const int position = m_window.document().characterCount() - 1;
    const int removed = m_window.append(std::move(copy), emphasis, Addresses::Underlined);
    emit appendedToWindow(std::max(position - removed, 0));
    if (chime == Chime::IfSwitchedOn && m_prefs.messageSound)
        m_sound.play(m_messageSoundPath);
}

void ChatLog::lockScreen()
{
    m_held.clear();
    m_screenLocked = true;
}

void ChatLog::unlockScreen()
{
    m_screenLocked = false;
    (void)m_window.takeAll(m_held);
    addLog(QString());
}

void ChatLog::clearWindow()
{
    m_window.clear();
}

void ChatLog::setLimits(const LogLimits &limits)
{
    m_window.setLimits(limits);
    m_held.setLimits(limits);
}

void ChatLog::appendEmphasised(const QString &text)
{
    // A private line goes out one connection per turn of the event loop, so the log may
    // have been locked meanwhile: the "To" line is then held with the line it stands before.
    if (m_screenLocked) {
        m_held.append(text, Emphasis::On, Addresses::Plain);
        return;
    }
    const int position = m_window.document().characterCount() - 1;
    const int removed = m_window.append(text, Emphasis::On, Addresses::Plain);
    emit appendedToWindow(std::max(position - removed, 0));
}

} // namespace tarnivel
