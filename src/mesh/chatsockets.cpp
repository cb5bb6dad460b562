#include "mesh/chatsockets.h"

namespace tarnivel {

ChatSockets::ChatSockets(SocketContext &context)
    : m_context(context)
    , m_listening(std::make_unique<Socket>(context))
    , m_joinServer(std::make_unique<Socket>(context))
    , m_joinClient(std::make_unique<Socket>(context))
{
    for (auto &s : m_servers)
        s = std::make_unique<Socket>(context);
    for (auto &c : m_clients)
        c = std::make_unique<Socket>(context);
}

Socket *ChatSockets::bySlotValue(int value)
{
    if (value >= 0 && value < MemberRows)
        return m_servers[value].get();
    if (value >= MemberRows && value < MemberRows + ClientSlots)
        return m_clients[value - MemberRows].get();
    return nullptr;
}

} // namespace tarnivel
