#include "gateway/portmapper.h"

#include "text/logging.h"
#include "gateway/portmapperworker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoopLocker>
#include <QThread>

namespace tarnivel {

namespace {
// A worker still stuck in a gateway call when the copy goes is left behind, not waited for.
constexpr int ThreadEndWaitMs = 1000;
} // namespace

PortMapper::PortMapper(const QHostAddress &bindAddress, const QList<quint16> &ports, int leaseSeconds, QObject *parent)
    : QObject(parent)
    , m_thread(new QThread)
    , m_worker(new PortMapperWorker(bindAddress, ports, leaseSeconds))
{
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &PortMapperWorker::mapped, this, &PortMapper::arrived, Qt::QueuedConnection);
    connect(m_worker, &PortMapperWorker::unmapped, this, &PortMapper::removalEnded, Qt::QueuedConnection);
    m_renewal.setSingleShot(true);
    connect(&m_renewal, &QTimer::timeout, this, &PortMapper::map);
    m_removeWait.setSingleShot(true);
    m_removeWait.setInterval(RemoveWaitMs);
    connect(&m_removeWait, &QTimer::timeout, this, [this] {
        qCWarning(lcGateway) << "the gateway did not answer the removal in time";
        m_keepRunning.reset();
    });
    m_thread->setObjectName(QStringLiteral("port mapper"));
    m_thread->start();
}

PortMapper::~PortMapper()
{
    disconnect(m_worker, nullptr, this, nullptr);
    // Queued behind whatever the worker still has to do, so a removal asked for goes out first.
    QMetaObject::invokeMethod(
        m_worker, [thread = m_thread] { thread->quit(); }, Qt::QueuedConnection);
    if (m_thread->wait(QDeadlineTimer(m_keepRunning ? RemoveWaitMs : ThreadEndWaitMs))) {
        delete m_thread;
        return;
    }
    // Still inside a blocking call: the thread and its worker end with the process.
    qCWarning(lcGateway) << "the port mapper is still waiting for the gateway; not waiting for it";
}

void PortMapper::map()
{
    m_renewal.stop();
    if (m_busy) {
        m_mapAgain = true;
        return;
    }
    m_busy = true;
    QMetaObject::invokeMethod(m_worker, &PortMapperWorker::map, Qt::QueuedConnection);
}

void PortMapper::arrived(const GatewayOutcome &outcome)
{
    m_busy = false;
    m_last = outcome;
    qCInfo(lcGateway) << "outcome" << int(outcome.kind) << "protocol" << int(outcome.protocol) << "external"
                      << outcome.externalAddress << "discovery ms" << outcome.discoveryMs << "mapping ms"
                      << outcome.mappingMs << outcome.reason;
    // While removing, the removal queued behind this request takes what it made.
    if (!m_keepRunning && m_mapAgain)
        map();
    else if (!m_keepRunning && outcome.kind == GatewayOutcome::Kind::Mapped && outcome.leaseSeconds > 0)
        m_renewal.start(outcome.leaseSeconds * 1000 / 2); // renew halfway through the lease
    m_mapAgain = false;
    emit this->outcome(outcome);
}

void PortMapper::removeMappings()
{
    m_renewal.stop();
    m_mapAgain = false;
    if (m_keepRunning)
        return;
    if (QCoreApplication::instance())
        m_keepRunning = std::make_unique<QEventLoopLocker>();
    m_removeWait.start();
    QMetaObject::invokeMethod(m_worker, &PortMapperWorker::unmap, Qt::QueuedConnection);
}

void PortMapper::removalEnded()
{
    m_removeWait.stop();
    m_keepRunning.reset();
    m_last.reset();
    emit removed();
}

QString PortMapper::externalAddress() const
{
    return m_last && m_last->kind == GatewayOutcome::Kind::Mapped ? m_last->externalAddress : QString();
}

} // namespace tarnivel
