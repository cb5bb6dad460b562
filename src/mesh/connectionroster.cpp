#include "mesh/connectionroster.h"

namespace tarnivel {

ConnectionRoster::ConnectionRoster(SocketContext &context)
    : m_listening(std::make_unique<Socket>(context))
    , m_joinListener(std::make_unique<Socket>(context))
    , m_joinClient(std::make_unique<Socket>(context))
{
    for (auto &s : m_joinCallers)
        s = std::make_unique<Socket>(context);
    for (auto &s : m_accepted)
        s = std::make_unique<Socket>(context);
    for (auto &s : m_dialled)
        s = std::make_unique<Socket>(context);
}

Socket *ConnectionRoster::socket(const MemberId &id) const
{
    if (id.slot < 0 || id.slot >= MemberSlots)
        return nullptr;
    return id.side == ConnectionSide::Accepted ? m_accepted[id.slot].get() : m_dialled[id.slot].get();
}

int ConnectionRoster::connectionCount() const
{
    int count = 0;
    for (int i = 0; i < MemberSlots; ++i)
        count += int(m_accepted[i]->isConnected()) + int(m_dialled[i]->isConnected());
    return count;
}

QList<Member> ConnectionRoster::members() const
{
    QList<Member> result;
    for (int i = 0; i < MemberSlots && result.size() < MaxShownMembers; ++i) {
        for (const ConnectionSide side : {ConnectionSide::Accepted, ConnectionSide::Dialled}) {
            const MemberId id{side, i};
            const Socket *s = socket(id);
            if (s->isConnected() && result.size() < MaxShownMembers)
                result.append(Member{id, displayName(s->memberName()), s->remoteHostIP()});
        }
    }
    return result;
}

QList<Socket *> ConnectionRoster::connectedSockets() const
{
    QList<Socket *> result;
    for (int i = 0; i < MemberSlots; ++i) {
        if (m_accepted[i]->isConnected())
            result.append(m_accepted[i].get());
        if (m_dialled[i]->isConnected())
            result.append(m_dialled[i].get());
    }
    return result;
}

void ConnectionRoster::closeAll(quint16 chatPort, quint16 joinPort, bool keepJoinCallers)
{
    m_joinListener->close();
    m_joinListener->setLocalPort(joinPort);
    m_joinListener->setRemotePort(0);
    if (!keepJoinCallers) {
        for (auto &s : m_joinCallers)
            s->close();
    }

    m_joinClient->close();
    m_joinClient->setLocalPort(0);
    m_joinClient->setRemotePort(joinPort);
    m_joinClient->setRemoteHost(QString());

    m_listening->close();
    m_listening->setLocalPort(chatPort);
    m_listening->setRemotePort(0);

    for (auto &s : m_accepted) {
        s->close();
        s->setMemberName(QString());
        s->setLocalPort(0);
        s->setRemotePort(0);
    }
    for (auto &s : m_dialled) {
        s->close();
        s->setMemberName(QString());
        s->setLocalPort(0);
        s->setRemotePort(chatPort);
        s->setRemoteHost(QString());
    }
}

} // namespace tarnivel
