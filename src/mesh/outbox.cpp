#include "mesh/outbox.h"

#include "platform/socket.h"

namespace tarnivel {

void Outbox::post(QByteArray bytes, std::vector<Addressee> addressees, Sent sent)
{
    m_queue.push_back({std::move(bytes), std::move(addressees), 0, {}, std::move(sent)});
    if (!m_writing && !m_scheduled)
        writeOn();
}

void Outbox::writeOn()
{
    m_scheduled = false;
    m_writing = true;
    while (!m_queue.empty()) {
        Delivery &delivery = m_queue.front();
        bool wrote = false;
        while (!wrote && delivery.next < delivery.addressees.size()) {
            const Addressee &to = delivery.addressees[delivery.next++];
            // Whoever left (or whose slot another member took) since the line was sent is skipped.
            if (!to.socket->isConnected() || (to.connection && *to.connection != to.socket->connection()))
                continue;
            to.socket->sendData(delivery.bytes);
            delivery.reached << to.name;
            wrote = true;
        }
        if (wrote && delivery.next < delivery.addressees.size()) {
            m_scheduled = true;
            m_writing = false;
            QMetaObject::invokeMethod(this, &Outbox::writeOn, Qt::QueuedConnection);
            return;
        }
        Delivery done = std::move(delivery);
        m_queue.pop_front();
        if (done.sent)
            done.sent(done.reached);
    }
    m_writing = false;
}

} // namespace tarnivel
