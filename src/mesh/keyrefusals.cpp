#include "mesh/keyrefusals.h"

#include "conversation/chatlog.h"
#include "mesh/statuslines.h"
#include "net/socket.h"

namespace tarnivel {

KeyRefusals::KeyRefusals(SocketContext &context, ChatLog &log, QObject *parent) : QObject(parent), m_log(log)
{
    m_clock.start();
    connect(&context, &SocketContext::keyMismatch, this, &KeyRefusals::onMismatch);
}

void KeyRefusals::onMismatch(const QString &address, bool dialled)
{
    if (dialled) {
        m_log.addLog(statusline::keyMismatch(address));
        return;
    }
    const qint64 now = m_clock.elapsed();
    const auto said = m_lastSaid.constFind(address);
    if (said != m_lastSaid.cend() && now - *said < QuietMs)
        return;
    if (said == m_lastSaid.cend() && m_lastSaid.size() >= MaxRemembered) {
        m_lastSaid.removeIf([now](const auto &entry) { return now - entry.value() >= QuietMs; });
        if (m_lastSaid.size() >= MaxRemembered)
            return;
    }
    m_lastSaid.insert(address, now);
    m_log.addLog(statusline::keyRefused(address));
}

} // namespace tarnivel
