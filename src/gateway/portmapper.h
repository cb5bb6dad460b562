#pragma once
// Keeps TCP ports forwarded by the home router while the copy runs: asks at map(), renews
// before the lease ends, removes them at removeMappings(). The gateway is asked from a
// worker thread of our own (discovery takes seconds); outcomes come back as queued signals.
// The worker thread starts with the mapper, in the network namespace of the thread that
// made it, and its sockets stay there.

#include "gateway/gatewayclient.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>
#include <memory>
#include <optional>

class QEventLoopLocker;
class QThread;

namespace tarnivel {

class PortMapperWorker;

class PortMapper : public QObject
{
    Q_OBJECT
public:
    // Removing the mappings at exit keeps the program running at most this long.
    static constexpr int RemoveWaitMs = 3000;

    PortMapper(const QHostAddress &bindAddress, const QList<quint16> &ports,
               int leaseSeconds = GatewayClient::LeaseSeconds, QObject *parent = nullptr);
    ~PortMapper() override;

    // Ask (again) for the ports; one request at a time, a second one asked meanwhile follows it.
    void map();
    // Give the ports back; the program keeps running until the gateway has answered or
    // RemoveWaitMs have passed. No renewals from then on until map() is called again.
    void removeMappings();

    // The router's outside address while the ports are forwarded; empty otherwise.
    QString externalAddress() const;

signals:
    void outcome(const tarnivel::GatewayOutcome &outcome);
    void removed();

private:
    void arrived(const GatewayOutcome &outcome);
    void removalEnded();

    QThread *m_thread;
    PortMapperWorker *m_worker;
    QTimer m_renewal;
    QTimer m_removeWait;
    std::optional<GatewayOutcome> m_last;
    std::unique_ptr<QEventLoopLocker> m_keepRunning;
    bool m_busy = false;
    bool m_mapAgain = false;
};

} // namespace tarnivel

Q_DECLARE_METATYPE(tarnivel::GatewayOutcome)
