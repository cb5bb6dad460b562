#pragma once
// The copy's connection status: back to unconnected (resetConnections), the count and the
// title (refreshTitle), and the member lists rebuilt from the sockets (refreshMemberList).

#include "app/preferences.h"

#include <QString>
#include <array>

namespace tarnivel {

class ChatSockets;
class StatusView;
class RoomHooks;

class ConnectionStatus
{
public:
    ConnectionStatus(ChatSockets &sockets, StatusView &view, const Preferences &prefs, RoomHooks &room);

    void resetConnections();
    void refreshTitle();
    // Does nothing while the peer column is hidden.
    void refreshMemberList();
    // Rebuild unconditionally (showing the peer column does this).
    void rebuildMemberList();

    // Both listeners listen again: the join port first, then the chat port.
    void listenAgain();

    // Title body + waiting suffix + lock suffix.
    void setTitleBody(const QString &body);
    static QString unconnectedTitle();
    static QString connectingTitle();
    static QString connectedTitle(int count);

    int connectionCount() const { return m_connectionCount; }
    void setConnectionCount(int count) { m_connectionCount = count; }
    bool inChat() const { return m_inChat; }
    void setInChat(bool inChat) { m_inChat = inChat; }
    // Socket of member-list row r (see ChatSockets::bySlotValue); 10 when the row is empty.
    int peerSlot(int row) const;

    QString lockSuffix() const { return m_lockSuffix; }
    void setLockSuffix(const QString &suffix) { m_lockSuffix = suffix; }

private:
    ChatSockets &m_sockets;
    StatusView &m_view;
    const Preferences &m_prefs;
    RoomHooks &m_room;
    int m_connectionCount = 0;
    bool m_inChat = false;
    std::array<int, 10> m_peerSlot;
    QString m_lockSuffix;
};

} // namespace tarnivel
