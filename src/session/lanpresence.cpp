#include "session/lanpresence.h"

#include "mesh/mesh.h"
#include "mesh/wire.h"
#include "model/extraswitches.h"
#include "model/preferences.h"
#include "text/logging.h"

#include <QSet>
#include <QSysInfo>
#include <QTimer>

namespace tarnivel {

namespace {

constexpr qsizetype MaxInstanceBytes = 63;

QString cutToUtf8Bytes(const QString &text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype step = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
        const qsizetype more = text.mid(end, step).toUtf8().size();
        if (bytes + more > maxBytes)
            break;
        bytes += more;
        end += step;
    }
    return text.left(end);
}

} // namespace

LanPresence::LanPresence(LanDiscovery &discovery, const Mesh &mesh, const Preferences &prefs,
                         const QHostAddress &bindAddress, QString version, QObject *parent)
    : QObject(parent)
    , m_discovery(discovery)
    , m_mesh(mesh)
    , m_prefs(prefs)
    , m_bindAddress(bindAddress)
    , m_version(std::move(version))
    , m_hostName(QSysInfo::machineHostName())
    , m_announcing(extraswitch::LanAnnounce.defaultOn)
{
    connect(&m_mesh, &Mesh::stateChanged, this, &LanPresence::announceSoon);
    connect(&m_mesh, &Mesh::membersChanged, this, [this] {
        announceSoon();
        if (!m_found.isEmpty())
            emit copiesChanged(); // the marks follow our own members
    });
    connect(&m_discovery, &LanDiscovery::found, this, &LanPresence::onFound);
    connect(&m_discovery, &LanDiscovery::lost, this, &LanPresence::onLost);
    connect(&m_discovery, &LanDiscovery::availabilityChanged, this, [this](LanAvailability availability) {
        m_availability = availability;
        if (availability != LanAvailability::Available && !m_found.isEmpty()) {
            m_found.clear();
            emit copiesChanged();
        }
        emit availabilityChanged(availability);
    });
    connect(&m_discovery, &LanDiscovery::announceFailed, this, [this](const QString &reason) {
        // Said once, not at every change of the count.
        if (reason == m_lastFailure)
            return;
        m_lastFailure = reason;
        qCWarning(lcLan, "could not announce this copy on the network: %s", qPrintable(reason));
    });
}

QString LanPresence::instanceName(const QString &userName, const QString &hostName)
{
    const QString whole = userName.isEmpty() ? hostName : userName + u'@' + hostName;
    return cutToUtf8Bytes(whole, MaxInstanceBytes);
}

LanAnnouncement LanPresence::announcement() const
{
    LanAnnouncement a;
    a.instanceName = instanceName(m_prefs.myName, m_hostName);
    a.address = m_bindAddress;
    a.port = wire::ChatPort;
    a.memberCount = m_mesh.connectionCount();
    a.version = m_version;
    a.keyed = m_keyed;
    return a;
}

void LanPresence::start()
{
    m_started = true;
    announceSoon(); // with whatever else the start sets (a name given right after loading)
}

void LanPresence::stop()
{
    m_started = false;
    announceNow();
}

void LanPresence::setAnnouncing(bool on)
{
    m_announcing = on;
    announceNow();
}

void LanPresence::setKeyed(bool keyed)
{
    m_keyed = keyed;
    announceSoon();
}

void LanPresence::refresh()
{
    announceSoon();
}

void LanPresence::announceSoon()
{
    if (m_announceQueued)
        return;
    m_announceQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_announceQueued = false;
        announceNow();
    });
}

void LanPresence::announceNow()
{
    if (!m_started || !m_announcing) {
        if (m_announced)
            m_discovery.withdraw();
        m_announced.reset();
        return;
    }
    const LanAnnouncement now = announcement();
    if (m_announced == now)
        return;
    m_announced = now;
    m_discovery.announce(now);
}

// ---- The copies found -------------------------------------------------------------------

void LanPresence::setBrowsing(bool on)
{
    if (on == m_browsing)
        return;
    m_browsing = on;
    if (on) {
        m_discovery.startBrowsing();
        return;
    }
    m_discovery.stopBrowsing();
    if (!m_found.isEmpty()) {
        m_found.clear();
        emit copiesChanged();
    }
}

void LanPresence::onFound(const FoundCopy &copy)
{
    // Reports still on their way after the list was closed change nothing.
    if (!m_browsing)
        return;
    m_found.insert(copy.key, copy);
    emit copiesChanged();
}

void LanPresence::onLost(const QString &key)
{
    if (m_found.remove(key) > 0)
        emit copiesChanged();
}

QList<NearbyCopy> LanPresence::copies() const
{
    QSet<QString> ourMembers;
    for (const Member &m : m_mesh.members())
        ourMembers.insert(m.address);
    // A copy announced on every interface is seen once per interface that reaches it; its
    // row shows a LAN address rather than this machine's loopback one when it has both.
    // Copies bound to addresses on different interfaces of one machine may share a name
    // (Avahi only keeps names apart per interface); their host names tell them apart.
    QMap<std::pair<QString, QString>, const FoundCopy *> byCopy;
    for (const FoundCopy &found : m_found) {
        const FoundCopy *&kept = byCopy[{found.instanceName, found.hostName}];
        if (!kept || (kept->address.isLoopback() && !found.address.isLoopback()))
            kept = &found;
    }
    QList<NearbyCopy> rows;
    for (const FoundCopy *found : std::as_const(byCopy)) {
        const QString address = found->address.toString();
        rows.append(
            NearbyCopy{found->instanceName, address, found->memberCount, ourMembers.contains(address), found->keyed});
    }
    return rows;
}

} // namespace tarnivel
