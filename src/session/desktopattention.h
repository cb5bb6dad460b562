#pragma once
// How the desktop is asked to notice the window: the taskbar flash or urgency hint, the tray
// icon with the unread count, and a desktop notification. The window supplies the real one;
// tests record what was asked.

#include <QString>

namespace tarnivel {

class DesktopAttention
{
public:
    virtual ~DesktopAttention() = default;
    virtual void alert() = 0;
    // Whether the desktop has a system tray at all.
    virtual bool trayAvailable() const = 0;
    // count 0 takes the tray icon away.
    virtual void showUnread(int count, const QString &lastSender) = 0;
    // Plain text, one line each: whoever shows them as markup escapes them first.
    virtual void notify(const QString &title, const QString &message) = 0;
};

} // namespace tarnivel
