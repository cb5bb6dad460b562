#include "session/outsideaccess.h"

#include "conversation/chatlog.h"
#include "directory/entryfile.h"
#include "directory/roomexchange.h"
#include "mesh/mesh.h"
#include "model/preferences.h"
#include "gateway/portmapper.h"
#include "text/logging.h"
#include "session/outsidelines.h"

namespace tarnivel {

namespace {
const QList<quint16> ForwardedPorts{3220, 4330}; // chat and join
} // namespace

OutsideAccess::OutsideAccess(ChatLog &log, RoomExchange &room, const Mesh &mesh, const Preferences &prefs,
                             const QHostAddress &bindAddress, int leaseSeconds, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_room(room)
    , m_mesh(mesh)
    , m_bindAddress(bindAddress)
    , m_mapper(std::make_unique<PortMapper>(bindAddress, ForwardedPorts, leaseSeconds))
    , m_check(bindAddress)
    , m_prefs(prefs)
{
    connect(m_mapper.get(), &PortMapper::outcome, this, &OutsideAccess::mappingOutcome);
    connect(&m_check, &ReachCheck::answered, this, &OutsideAccess::reachAnswered);
    connect(&m_room, &RoomExchange::roomEntered, this, [this](const QString &entryUrl) {
        if (m_checking)
            checkServerOf(entryUrl);
    });
    connect(&m_room, &RoomExchange::waitingChanged, this, &OutsideAccess::waitingChanged);
    connect(&m_mesh, &Mesh::joinPortOpened, this, &OutsideAccess::joinPortOpened);
}

OutsideAccess::~OutsideAccess() = default;

void OutsideAccess::setPortMapping(bool on)
{
    if (on == m_mapping)
        return;
    m_mapping = on;
    if (!m_started)
        return;
    if (on) {
        m_mapper->map();
    } else {
        m_mapper->removeMappings();
        m_gatewayLine.clear();
    }
}

void OutsideAccess::setReachCheck(bool on)
{
    m_checking = on;
}

void OutsideAccess::start()
{
    m_started = true;
    if (m_mapping)
        m_mapper->map();
}

void OutsideAccess::portsOpened()
{
    if (m_started && m_mapping)
        m_mapper->map();
}

void OutsideAccess::stop()
{
    if (!m_started)
        return;
    m_started = false;
    m_mapper->removeMappings();
}

QString OutsideAccess::externalAddress() const
{
    return m_mapper->externalAddress();
}

void OutsideAccess::mappingOutcome(const GatewayOutcome &outcome)
{
    if (!m_started || !m_mapping)
        return;
    const QString line = outsideline::forOutcome(outcome);
    if (line == m_gatewayLine)
        return;
    m_gatewayLine = line;
    m_log.addLog(line, Chime::Never);
    if (outcome.kind != GatewayOutcome::Kind::Mapped || !m_checking)
        return;
    // The server of the room entered last, else the quick server's.
    QString entryUrl = m_room.entryUrl();
    if (entryUrl.isEmpty() && !m_prefs.quickServer.isEmpty()) {
        if (const std::optional<DirectoryEntry> entry =
                readEntryFile(entryFilePath(m_room.entryFolder(), m_prefs.quickServer)))
            entryUrl = entry->url;
    }
    if (!entryUrl.isEmpty())
        checkServerOf(entryUrl);
}

void OutsideAccess::checkServerOf(const QString &entryUrl)
{
    if (!m_mesh.joinPortListening()) {
        m_deferredCheckUrl = entryUrl;
        return;
    }
    m_deferredCheckUrl.clear();
    m_joinsBegunAtAsk = m_mesh.joinsBegun();
    m_check.ask(entryUrl.toUtf8());
}

void OutsideAccess::joinPortOpened()
{
    if (!m_deferredCheckUrl.isEmpty())
        checkServerOf(std::exchange(m_deferredCheckUrl, {}));
}

void OutsideAccess::reachAnswered(Reach reach)
{
    if (reach == Reach::Closed && m_mesh.joinsBegun() != m_joinsBegunAtAsk) {
        qCInfo(lcDirectory) << "reachability check dropped: the join port was closed for a join meanwhile";
        return;
    }
    m_reach = reach;
    m_log.addLog(reach == Reach::Open ? outsideline::reachable() : outsideline::notReachable(), Chime::Never);
    waitingChanged(m_room.waiting());
}

void OutsideAccess::waitingChanged(bool waiting)
{
    if (!waiting) {
        m_waitTold = false;
        return;
    }
    if (m_waitTold || m_reach != Reach::Closed)
        return;
    m_waitTold = true;
    m_log.addLog(outsideline::waitUnreachable(), Chime::Never);
}

} // namespace tarnivel
