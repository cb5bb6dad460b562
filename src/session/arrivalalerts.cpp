#include "session/arrivalalerts.h"

#include "conversation/chatline.h"
#include "model/member.h"
#include "session/desktopattention.h"

namespace tarnivel {

namespace {
const QString PrivateSuffix = QStringLiteral("（秘）: ");
const QString PublicSuffix = QStringLiteral("> ");
} // namespace

ArrivedLine readArrivedLine(const QString &line)
{
    ArrivedLine read;
    QString text = line;
    read.isPrivate = chatline::stripPrivateMarks(text);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    const qsizetype privateAt = read.isPrivate ? text.indexOf(PrivateSuffix) : -1;
    const qsizetype publicAt = text.indexOf(PublicSuffix);
    if (privateAt >= 0) {
        read.sender = text.left(privateAt);
        read.text = text.mid(privateAt + PrivateSuffix.size());
    } else if (publicAt >= 0) {
        read.sender = text.left(publicAt);
        read.text = text.mid(publicAt + PublicSuffix.size());
    } else {
        read.text = text;
    }
    return read;
}

ArrivalAlerts::ArrivalAlerts(DesktopAttention &attention, QObject *parent) : QObject(parent), m_attention(&attention) {}

void ArrivalAlerts::lineArrived(const QString &line)
{
    if (m_windowActive)
        return;
    const ArrivedLine read = readArrivedLine(line);
    ++m_unread;
    // The sender is whatever the line has before its "> ": shown as a name from outside is.
    m_lastSender = displayName(read.sender);
    if (m_unread == 1)
        emit unreadStarted();
    if (m_switches.alert)
        m_attention->alert();
    showCount();
    if (m_switches.notify) {
        const QString who = m_lastSender.isEmpty() ? QStringLiteral("たるにべ") : m_lastSender;
        const QString title =
            read.isPrivate ? who + QStringLiteral(" からの個人メッセージ") : who + QStringLiteral(" からのメッセージ");
        m_attention->notify(title, shownText(read.text.left(NotificationCharacters)));
    }
}

void ArrivalAlerts::setWindowActive(bool active)
{
    m_windowActive = active;
    if (active)
        clearUnread();
}

void ArrivalAlerts::clearUnread()
{
    if (m_unread == 0)
        return;
    m_unread = 0;
    m_lastSender.clear();
    showCount();
}

void ArrivalAlerts::setSwitches(const AttentionSwitches &switches)
{
    m_switches = switches;
    showCount();
}

void ArrivalAlerts::showCount()
{
    if (m_attention->trayAvailable())
        m_attention->showUnread(m_switches.tray ? m_unread : 0, m_lastSender);
}

} // namespace tarnivel
