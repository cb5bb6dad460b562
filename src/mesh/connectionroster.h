#pragma once
// All sockets of one running copy, and who is connected through them. The sockets live as
// long as the copy; connections come and go inside them, so a reference to one stays valid
// across any event.

#include "model/member.h"
#include "net/socket.h"

#include <QList>
#include <array>
#include <memory>

namespace tarnivel {

class ConnectionRoster
{
public:
    static constexpr int AcceptedSlots = 11; // 0..9 members, 10 takes an extra caller and closes again
    static constexpr int DialledSlots = 10;
    static constexpr int MemberSlots = 10; // slots of each side that hold members
    static constexpr int MaxShownMembers = 10;
    static constexpr int JoinCallerSlots = 8; // join callers held at once, answered one at a time

    explicit ConnectionRoster(SocketContext &context);

    Socket &listening() { return *m_listening; }               // chat port listener
    Socket &joinListener() { return *m_joinListener; }         // join port listener
    Socket &joinCaller(int i) { return *m_joinCallers.at(i); } // join port: a caller to answer
    Socket &joinClient() { return *m_joinClient; }             // join port: the newcomer's request
    Socket &accepted(int k) { return *m_accepted.at(k); }
    Socket &dialled(int i) { return *m_dialled.at(i); }
    // The socket of a member slot; null for a slot that does not exist.
    Socket *socket(const MemberId &id) const;

    // Connected sockets among the member slots of both sides.
    int connectionCount() const;
    // Connected members, accepted and dialled interleaved by slot, at most MaxShownMembers.
    QList<Member> members() const;
    // The connected sockets in the same order (every one, even past MaxShownMembers).
    QList<Socket *> connectedSockets() const;

    // Every connection closed, every name cleared, ports back to their idle values; with
    // keepJoinCallers, the callers on the join port stay to be answered.
    void closeAll(quint16 chatPort, quint16 joinPort, bool keepJoinCallers = false);

private:
    std::unique_ptr<Socket> m_listening;
    std::unique_ptr<Socket> m_joinListener;
    std::array<std::unique_ptr<Socket>, JoinCallerSlots> m_joinCallers;
    std::unique_ptr<Socket> m_joinClient;
    std::array<std::unique_ptr<Socket>, AcceptedSlots> m_accepted;
    std::array<std::unique_ptr<Socket>, DialledSlots> m_dialled;
};

} // namespace tarnivel
