#pragma once
// Counts chat lines that arrive while the window is inactive and asks the desktop to notice
// them, each way only if its switch is on. Status lines never reach here: only the mesh's
// lineArrived (chat text from a member) is counted.

#include "model/attentionswitches.h"

#include <QObject>
#include <QString>

namespace tarnivel {

class DesktopAttention;

// The sender and the text of a chat line as it travels ("name> text" or, private,
// 0x01 + "name（秘）: text").
struct ArrivedLine
{
    QString sender;
    QString text;
    bool isPrivate = false;
};
ArrivedLine readArrivedLine(const QString &line);

class ArrivalAlerts : public QObject
{
    Q_OBJECT
public:
    explicit ArrivalAlerts(DesktopAttention &attention, QObject *parent = nullptr);

    static constexpr int NotificationCharacters = 40;

    // Another way to reach the desktop (tests record what is asked).
    void setAttention(DesktopAttention &attention) { m_attention = &attention; }

    void lineArrived(const QString &line);
    // Activating the window (or clicking the tray icon) clears the count.
    void setWindowActive(bool active);
    bool windowActive() const { return m_windowActive; }
    // The lines were seen (the tray icon was clicked).
    void clearUnread();

    void setSwitches(const AttentionSwitches &switches);
    const AttentionSwitches &switches() const { return m_switches; }

    int unreadCount() const { return m_unread; }
    QString lastSender() const { return m_lastSender; }

signals:
    // The first unread line of a spell of inactivity arrived.
    void unreadStarted();

private:
    void showCount();

    DesktopAttention *m_attention;
    AttentionSwitches m_switches;
    bool m_windowActive = true;
    int m_unread = 0;
    QString m_lastSender;
};

} // namespace tarnivel
