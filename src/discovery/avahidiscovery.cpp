#include "discovery/avahidiscovery.h"

#include "discovery/avahilink.h"
#include "text/logging.h"

#include <QDeadlineTimer>
#include <QThread>

namespace tarnivel {

namespace {
constexpr int ShutdownWaitMs = 2000;
} // namespace

AvahiDiscovery::AvahiDiscovery(QObject *parent)
    : LanDiscovery(parent)
    , m_thread(new QThread)
    , m_link(new AvahiLink(*this))
{
    m_thread->setObjectName(QStringLiteral("avahi"));
    m_link->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_link, &QObject::deleteLater);
    m_thread->start();
}

AvahiDiscovery::~AvahiDiscovery()
{
    QMetaObject::invokeMethod(
        m_link, [link = m_link] { link->shutDown(); }, Qt::QueuedConnection);
    if (m_thread->wait(QDeadlineTimer(ShutdownWaitMs))) {
        delete m_thread;
        return;
    }
    // Stuck in a call to a daemon that stopped answering: the thread ends on its own later.
    qCWarning(lcLan, "the Avahi daemon did not answer; leaving without waiting for it");
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
}

void AvahiDiscovery::announce(const LanAnnouncement &announcement)
{
    QMetaObject::invokeMethod(
        m_link, [link = m_link, announcement] { link->setAnnouncement(announcement); }, Qt::QueuedConnection);
}

void AvahiDiscovery::withdraw()
{
    QMetaObject::invokeMethod(
        m_link, [link = m_link] { link->setAnnouncement(std::nullopt); }, Qt::QueuedConnection);
}

void AvahiDiscovery::startBrowsing()
{
    QMetaObject::invokeMethod(
        m_link, [link = m_link] { link->setBrowsing(true); }, Qt::QueuedConnection);
}

void AvahiDiscovery::stopBrowsing()
{
    QMetaObject::invokeMethod(
        m_link, [link = m_link] { link->setBrowsing(false); }, Qt::QueuedConnection);
}

quint64 AvahiDiscovery::wakeups() const
{
    return m_link->wakeups();
}

int AvahiDiscovery::clientAttempts() const
{
    return m_link->attempts.load();
}

void AvahiDiscovery::setAvailability(LanAvailability availability)
{
    if (availability == m_availability)
        return;
    m_availability = availability;
    emit availabilityChanged(availability);
}

} // namespace tarnivel
