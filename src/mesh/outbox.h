#pragma once
// Lines on their way to the members, written one connection at a time. Between two writes
// the event loop runs once, so the other connections get their turn, but no handler ever
// runs inside a write. A line sent meanwhile waits behind the lines before it: every member
// gets the lines in the order they were sent, and their senders hear back in that order.

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace tarnivel {

class Socket;

class Outbox : public QObject
{
    Q_OBJECT
public:
    struct Addressee
    {
        Socket *socket = nullptr;
        // The connection the line is meant for; nothing for whoever is connected when the
        // line gets there.
        std::optional<quint64> connection;
        QString name;
    };
    // Called once the line has been handed to every addressee still connected, with the
    // names of those it was written to.
    using Sent = std::function<void(const QStringList &reached)>;

    using QObject::QObject;

    // Writes to the first addressee at once when nothing waits, and to the others on the
    // following turns of the event loop.
    void post(QByteArray bytes, std::vector<Addressee> addressees, Sent sent);
    bool idle() const { return m_queue.empty(); }

private:
    struct Delivery
    {
        QByteArray bytes;
        std::vector<Addressee> addressees;
        std::size_t next = 0;
        QStringList reached;
        Sent sent;
    };
    void writeOn();

    std::deque<Delivery> m_queue;
    bool m_writing = false;
    bool m_scheduled = false;
};

} // namespace tarnivel
