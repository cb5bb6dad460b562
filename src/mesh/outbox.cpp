#include "mesh/outbox.h"

#include "net/socket.h"

#include <QPointer>

namespace tarnivel {

void Outbox::post(QByteArray bytes, std::vector<Addressee> addressees, Sent sent)
{
    m_queue.push_back({std::move(bytes), std::move(addressees), 0, {}, std::move(sent)});
    if (!m_writing && !m_scheduled)
        writeOn();
}

namespace {

// Whoever left (or whose slot another member took) since the line was sent is skipped.
bool reachable(const Outbox::Addressee &to)
{
    return to.socket->isConnected() && (!to.connection || *to.connection == to.socket->connection());
}

} // namespace

void Outbox::writeOn()
{
    m_scheduled = false;
    m_writing = true;
    const QPointer<Outbox> self(this);
    while (!m_queue.empty()) {
        Delivery &delivery = m_queue.front();
        auto &to = delivery.addressees;
        while (delivery.next < to.size() && !reachable(to[delivery.next]))
            ++delivery.next;
        if (delivery.next < to.size()) {
            const Addressee &addressee = to[delivery.next++];
            addressee.socket->sendData(delivery.bytes);
            delivery.reached << addressee.name;
            while (delivery.next < to.size() && !reachable(to[delivery.next]))
                ++delivery.next;
            // Someone else still waits for this line: the event loop runs once first.
            if (delivery.next < to.size()) {
                m_scheduled = true;
                m_writing = false;
                QMetaObject::invokeMethod(this, &Outbox::writeOn, Qt::QueuedConnection);
                return;
            }
        }
        Delivery done = std::move(delivery);
        m_queue.pop_front();
        if (done.sent)
            done.sent(done.reached);
        if (!self)
            return;
    }
    m_writing = false;
}

} // namespace tarnivel
