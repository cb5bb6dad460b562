#pragma once
// All sockets of one running copy. They live as long as the copy; connections come and go
// inside them, so a pointer to one stays valid across any event.

#include "platform/socket.h"

#include <array>
#include <memory>

namespace tarnivel {

class ChatSockets
{
public:
    static constexpr int ServerSlots = 11; // 0..9 members, 10 takes an extra caller and closes again
    static constexpr int ClientSlots = 10;
    static constexpr int MemberRows = 10;

    explicit ChatSockets(SocketContext &context);

    SocketContext &context() { return m_context; }

    Socket &listening() { return *m_listening; }       // chat port listener
    Socket &joinServer() { return *m_joinServer; }     // join port: listener and answering connection
    Socket &joinClient() { return *m_joinClient; }     // join port: the newcomer's request
    Socket &server(int k) { return *m_servers.at(k); } // accepted chat connections
    Socket &client(int i) { return *m_clients.at(i); } // dialled chat connections

    // Member-list rows name sockets: 0..9 accepted slot, 10..19 dialled slot + 10.
    Socket *bySlotValue(int value);

private:
    SocketContext &m_context;
    std::unique_ptr<Socket> m_listening;
    std::unique_ptr<Socket> m_joinServer;
    std::unique_ptr<Socket> m_joinClient;
    std::array<std::unique_ptr<Socket>, ServerSlots> m_servers;
    std::array<std::unique_ptr<Socket>, ClientSlots> m_clients;
};

} // namespace tarnivel
