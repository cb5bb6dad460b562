#pragma once
// The port mapper's half that lives in its worker thread and makes the blocking calls.

#include "gateway/gatewayclient.h"

#include <QObject>

namespace tarnivel {

class PortMapperWorker : public QObject
{
    Q_OBJECT
public:
    PortMapperWorker(const QHostAddress &bindAddress, const QList<quint16> &ports, int leaseSeconds)
        : m_client(bindAddress, ports, leaseSeconds)
    {}

    // Called through queued invocations only, in the worker thread.
    void map() { emit mapped(m_client.map()); }
    void unmap()
    {
        m_client.unmap();
        emit unmapped();
    }

signals:
    void mapped(const tarnivel::GatewayOutcome &outcome);
    void unmapped();

private:
    GatewayClient m_client;
};

} // namespace tarnivel
