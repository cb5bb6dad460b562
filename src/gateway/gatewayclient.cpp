#include "gateway/gatewayclient.h"

#include <QElapsedTimer>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>
#define ENABLE_STRNATPMPERR // strnatpmperr() is declared only when asked for
#include <natpmp.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

namespace tarnivel {

namespace {

constexpr int UpnpConflict = 718;
constexpr int UpnpOnlyPermanentLeases = 725;
const char *const Description = "tarnivel";

bool usable(const QHostAddress &address)
{
    return !address.isNull() && address != QHostAddress::AnyIPv4 && address != QHostAddress::Any;
}

QByteArray portText(quint16 port)
{
    return QByteArray::number(port);
}

} // namespace

QString upnpErrorText(int code)
{
    const char *name = strupnperror(code);
    return name ? QStringLiteral("%1 %2").arg(code).arg(QLatin1String(name)) : QString::number(code);
}

// ---- UPnP IGD -------------------------------------------------------------------------

struct GatewayClient::Upnp
{
    UPNPUrls urls{};
    IGDdatas data{};
    QString lanAddress; // ours, as seen on the way to the gateway
    int leaseSeconds = LeaseSeconds;

    ~Upnp() { FreeUPNPUrls(&urls); }
    const char *control() const { return urls.controlURL; }
    const char *service() const { return data.first.servicetype; }
};

// Nothing when no Internet gateway device answered the search.
std::unique_ptr<GatewayClient::Upnp> GatewayClient::discoverUpnp(const QHostAddress &bindAddress, int delayMs,
                                                                 int leaseSeconds)
{
    const QByteArray multicastInterface = usable(bindAddress) ? bindAddress.toString().toLatin1() : QByteArray();
    int error = 0;
    // One search for the IGD type (later versions answer it too): searching each type in
    // turn would wait delayMs for every one of them when no gateway is there.
    UPNPDev *devices = upnpDiscoverDevice("urn:schemas-upnp-org:device:InternetGatewayDevice:1", delayMs,
                                          multicastInterface.isEmpty() ? nullptr : multicastInterface.constData(),
                                          nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
    if (!devices)
        return nullptr;
    auto upnp = std::make_unique<GatewayClient::Upnp>();
    std::array<char, 64> lan{};
    const int found = UPNP_GetValidIGD(devices, &upnp->urls, &upnp->data, lan.data(), int(lan.size()));
    freeUPNPDevlist(devices);
    // 1: a connected IGD, 2: an IGD that says it is not connected (it may still forward),
    // 3: some other UPnP device.
    if (found != 1 && found != 2)
        return nullptr; // the destructor frees whatever urls were filled in
    upnp->lanAddress = QString::fromLatin1(lan.data());
    upnp->leaseSeconds = leaseSeconds;
    return upnp;
}

GatewayOutcome GatewayClient::mapUpnp(qint64 discoveryMs)
{
    QElapsedTimer clock;
    clock.start();
    GatewayOutcome outcome;
    outcome.protocol = GatewayProtocol::Upnp;
    outcome.discoveryMs = discoveryMs;
    outcome.internalAddress = usable(m_bindAddress) ? m_bindAddress.toString() : m_upnp->lanAddress;
    m_gatewayGone = false;
    const QByteArray client = outcome.internalAddress.toLatin1();

    QList<quint16> made;
    for (const quint16 port : m_ports) {
        int result = 0;
        for (;;) {
            const QByteArray lease = QByteArray::number(m_upnp->leaseSeconds);
            result = UPNP_AddPortMapping(m_upnp->control(), m_upnp->service(), portText(port).constData(),
                                         portText(port).constData(), client.constData(), Description, "TCP", nullptr,
                                         lease.constData());
            // Some gateways take only mappings that last until removed.
            if (result != UpnpOnlyPermanentLeases || m_upnp->leaseSeconds == 0)
                break;
            m_upnp->leaseSeconds = 0;
        }
        // Negative codes: no answer at all (the gateway went away); positive: the gateway's refusal.
        m_gatewayGone = result < 0;
        if (result != UPNPCOMMAND_SUCCESS) {
            for (const quint16 undo : made)
                UPNP_DeletePortMapping(m_upnp->control(), m_upnp->service(), portText(undo).constData(), "TCP",
                                       nullptr);
            outcome.kind = GatewayOutcome::Kind::Refused;
            outcome.port = port;
            outcome.heldByAnother = result == UpnpConflict;
            outcome.reason = upnpErrorText(result);
            outcome.mappingMs = clock.elapsed();
            return outcome;
        }
        made << port;
    }
    std::array<char, 64> external{};
    // Whatever else a router answers is no address: it is not passed on.
    if (UPNP_GetExternalIPAddress(m_upnp->control(), m_upnp->service(), external.data()) == UPNPCOMMAND_SUCCESS
        && QHostAddress(QString::fromLatin1(external.data())).protocol() == QAbstractSocket::IPv4Protocol)
        outcome.externalAddress = QHostAddress(QString::fromLatin1(external.data())).toString();
    outcome.kind = GatewayOutcome::Kind::Mapped;
    outcome.leaseSeconds = m_upnp->leaseSeconds;
    outcome.mappingMs = clock.elapsed();
    return outcome;
}

// ---- NAT-PMP --------------------------------------------------------------------------

struct GatewayClient::NatPmp
{
    natpmp_t handle{};
    QString localAddress;
    bool open = false;
    ~NatPmp()
    {
        if (open)
            closenatpmp(&handle);
    }

    // One request's answer, retrying as the library says, for at most NatPmpAnswerMs.
    // NATPMP_TRYAGAIN when nothing came.
    int answer(natpmpresp_t &response)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            timeval wait{};
            getnatpmprequesttimeout(&handle, &wait);
            const qint64 left = NatPmpAnswerMs - clock.elapsed();
            if (left <= 0)
                return NATPMP_TRYAGAIN;
            const qint64 waitMs = std::clamp<qint64>(wait.tv_sec * 1000 + wait.tv_usec / 1000, 0, left);
            pollfd readable{handle.s, POLLIN, 0};
            (void)::poll(&readable, 1, int(waitMs));
            const int result = readnatpmpresponseorretry(&handle, &response);
            if (result != NATPMP_TRYAGAIN)
                return result;
        }
    }

    // Ask for one mapping; lifetime 0 removes it.
    int request(quint16 port, quint16 publicPort, int lifetime, natpmpresp_t &response)
    {
        const int sent = sendnewportmappingrequest(&handle, NATPMP_PROTOCOL_TCP, port, publicPort, uint32_t(lifetime));
        return sent < 0 ? sent : answer(response);
    }
};

// Nothing when there is no default gateway or it does not answer NAT-PMP.
std::unique_ptr<GatewayClient::NatPmp> GatewayClient::discoverNatPmp(const QHostAddress &bindAddress,
                                                                     QString &externalAddress)
{
    auto pmp = std::make_unique<GatewayClient::NatPmp>();
    if (initnatpmp(&pmp->handle, 0, 0) < 0)
        return nullptr;
    pmp->open = true;
    sockaddr_in gateway{};
    gateway.sin_family = AF_INET;
    gateway.sin_port = htons(NATPMP_PORT);
    gateway.sin_addr.s_addr = pmp->handle.gateway;
    if (usable(bindAddress) && bindAddress.protocol() == QAbstractSocket::IPv4Protocol) {
        // The gateway maps for the address a request comes from: send from ours.
        const int own = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(bindAddress.toIPv4Address());
        const bool ready = own >= 0 && ::bind(own, reinterpret_cast<sockaddr *>(&local), sizeof local) == 0
            && ::connect(own, reinterpret_cast<sockaddr *>(&gateway), sizeof gateway) == 0
            && ::fcntl(own, F_SETFL, O_NONBLOCK) == 0 && ::dup2(own, pmp->handle.s) >= 0;
        if (own >= 0)
            ::close(own);
        if (!ready)
            return nullptr;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(pmp->handle.s, reinterpret_cast<sockaddr *>(&local), &length) == 0)
        pmp->localAddress = QHostAddress(ntohl(local.sin_addr.s_addr)).toString();
    natpmpresp_t response{};
    if (sendpublicaddressrequest(&pmp->handle) < 0 || pmp->answer(response) < 0)
        return nullptr;
    externalAddress = QHostAddress(ntohl(response.pnu.publicaddress.addr.s_addr)).toString();
    return pmp;
}

GatewayOutcome GatewayClient::mapNatPmp(qint64 discoveryMs)
{
    QElapsedTimer clock;
    clock.start();
    GatewayOutcome outcome;
    outcome.protocol = GatewayProtocol::NatPmp;
    outcome.discoveryMs = discoveryMs;
    outcome.internalAddress = usable(m_bindAddress) ? m_bindAddress.toString() : m_natPmp->localAddress;
    m_gatewayGone = false;
    outcome.externalAddress = m_natPmpExternal;
    outcome.leaseSeconds = m_leaseSeconds;
    QList<quint16> made;
    for (const quint16 port : m_ports) {
        natpmpresp_t response{};
        const int result = m_natPmp->request(port, port, m_leaseSeconds, response);
        const bool otherPort = result >= 0 && response.pnu.newportmapping.mappedpublicport != port;
        m_gatewayGone = result == NATPMP_TRYAGAIN || result == NATPMP_ERR_RECVFROM;
        if (result < 0 || otherPort) {
            // A gateway that hands out another outside port has ours taken: give that one back.
            if (otherPort)
                made << port;
            for (const quint16 undo : made) {
                natpmpresp_t ignored{};
                (void)m_natPmp->request(undo, 0, 0, ignored);
            }
            outcome.kind = GatewayOutcome::Kind::Refused;
            outcome.port = port;
            outcome.heldByAnother = otherPort;
            outcome.reason = otherPort
                ? QStringLiteral("offered port %1").arg(response.pnu.newportmapping.mappedpublicport)
                : QStringLiteral("%1 %2").arg(result).arg(QLatin1String(strnatpmperr(result)));
            outcome.mappingMs = clock.elapsed();
            return outcome;
        }
        made << port;
        outcome.leaseSeconds = std::min<int>(outcome.leaseSeconds, int(response.pnu.newportmapping.lifetime));
    }
    outcome.kind = GatewayOutcome::Kind::Mapped;
    outcome.mappingMs = clock.elapsed();
    return outcome;
}

// ---- Both -----------------------------------------------------------------------------

GatewayClient::GatewayClient(const QHostAddress &bindAddress, const QList<quint16> &ports, int leaseSeconds)
    : m_bindAddress(bindAddress)
    , m_ports(ports)
    , m_leaseSeconds(leaseSeconds)
{}

GatewayClient::~GatewayClient() = default;

GatewayOutcome GatewayClient::map()
{
    // No router forwards to a loopback address: a copy bound to one asks nobody.
    if (m_bindAddress.isLoopback())
        return GatewayOutcome{};
    GatewayOutcome outcome = mapFoundGateway().value_or(GatewayOutcome{});
    if (outcome.kind == GatewayOutcome::Kind::NoGateway)
        outcome = discoverAndMap();
    m_mapped = outcome.kind == GatewayOutcome::Kind::Mapped;
    return outcome;
}

std::optional<GatewayOutcome> GatewayClient::mapFoundGateway()
{
    // Renewals go to the gateway found before; one that stopped answering is searched anew.
    if (m_upnp) {
        GatewayOutcome outcome = mapUpnp(0);
        if (!m_gatewayGone)
            return outcome;
        m_upnp.reset();
    }
    if (m_natPmp) {
        GatewayOutcome outcome = mapNatPmp(0);
        if (!m_gatewayGone)
            return outcome;
        m_natPmp.reset();
    }
    return std::nullopt;
}

GatewayOutcome GatewayClient::discoverAndMap()
{
    QElapsedTimer clock;
    clock.start();
    m_upnp = discoverUpnp(m_bindAddress, UpnpDiscoveryMs, m_leaseSeconds);
    if (m_upnp)
        return mapUpnp(clock.elapsed());
    m_natPmp = discoverNatPmp(m_bindAddress, m_natPmpExternal);
    if (m_natPmp)
        return mapNatPmp(clock.elapsed());
    GatewayOutcome none;
    none.discoveryMs = clock.elapsed();
    return none;
}

void GatewayClient::unmap()
{
    if (!m_mapped)
        return;
    m_mapped = false;
    if (m_upnp) {
        for (const quint16 port : m_ports)
            UPNP_DeletePortMapping(m_upnp->control(), m_upnp->service(), portText(port).constData(), "TCP", nullptr);
    } else if (m_natPmp) {
        for (const quint16 port : m_ports) {
            natpmpresp_t ignored{};
            (void)m_natPmp->request(port, 0, 0, ignored);
        }
    }
}

} // namespace tarnivel
