#pragma once
// What the two sides of the join port need of the mesh, and no more: the count the answer
// gives, the connections' writing and listening, and the reset that ends a failed join.

#include <QString>
#include <QtGlobal>

namespace tarnivel {

class Socket;

class JoinHost
{
public:
    virtual int connectionCount() const = 0;
    // Bumped by every reset, so that work queued before it can tell it belongs to the past.
    virtual quint64 epoch() const = 0;
    // Recount; with nobody connected the copy is no longer in a chat.
    virtual void refreshState() = 0;
    // False (and said in the log) when the socket's port cannot be had.
    [[nodiscard]] virtual bool listenOn(Socket &socket) = 0;
    virtual void write(Socket &socket, const QString &message) = 0;
    virtual void reset() = 0;
    virtual void listenAgain() = 0;
    // The own join connection stands: join requests are answered again.
    virtual void reopenJoinPort() = 0;

protected:
    ~JoinHost() = default;
};

} // namespace tarnivel
