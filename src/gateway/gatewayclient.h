#pragma once
// Asking the home router to forward TCP ports to this machine: UPnP IGD (miniupnpc) first,
// as most home routers speak it, then NAT-PMP (libnatpmp) for those that only speak that.
// Every call blocks (discovery waits seconds for answers), so only the port mapper's worker
// thread makes them; its sockets belong to the network namespace that thread started in.

#include <QHostAddress>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

namespace tarnivel {

enum class GatewayProtocol { Upnp, NatPmp };

struct GatewayOutcome
{
    enum class Kind {
        Mapped,    // every port forwarded
        NoGateway, // nothing answered, by either protocol
        Refused,   // a gateway answered but would not forward a port
    };
    Kind kind = Kind::NoGateway;
    GatewayProtocol protocol = GatewayProtocol::Upnp;
    QString externalAddress;    // Mapped: the router's outside address (may be empty if it did not say)
    QString internalAddress;    // where the ports go
    quint16 port = 0;           // Refused: the port refused
    bool heldByAnother = false; // Refused: another machine or copy already holds that outside port
    QString reason;             // Refused: the gateway's own words, e.g. "718 ConflictInMappingEntry"
    int leaseSeconds = 0;       // Mapped: 0 = until removed
    qint64 discoveryMs = 0;     // time spent finding the gateway (0 when it was already known)
    qint64 mappingMs = 0;       // time spent asking for the ports
    friend bool operator==(const GatewayOutcome &, const GatewayOutcome &) = default;
};

class GatewayClient
{
public:
    static constexpr int LeaseSeconds = 3600;
    static constexpr int UpnpDiscoveryMs = 2000;
    // NAT-PMP retries at 250 ms, 500 ms, 1 s...; a gateway that has not answered by then has none.
    static constexpr int NatPmpAnswerMs = 2000;

    // A null or Any bind address maps to the local address of the route to the gateway.
    // leaseSeconds: how long to ask the forwarding for (the gateway may grant less).
    GatewayClient(const QHostAddress &bindAddress, const QList<quint16> &ports, int leaseSeconds = LeaseSeconds);
    ~GatewayClient();
    GatewayClient(const GatewayClient &) = delete;
    GatewayClient &operator=(const GatewayClient &) = delete;

    // Finds a gateway (or reuses the one found before) and asks for every port; a refused
    // port leaves none of the others mapped. A loopback bind address has no gateway.
    GatewayOutcome map();
    // Removes what map() made; nothing when nothing is mapped.
    void unmap();

private:
    struct Upnp;
    struct NatPmp;
    static std::unique_ptr<Upnp> discoverUpnp(const QHostAddress &bindAddress, int delayMs, int leaseSeconds);
    static std::unique_ptr<NatPmp> discoverNatPmp(const QHostAddress &bindAddress, QString &externalAddress);
    std::optional<GatewayOutcome> mapFoundGateway();
    GatewayOutcome discoverAndMap();
    GatewayOutcome mapUpnp(qint64 discoveryMs);
    GatewayOutcome mapNatPmp(qint64 discoveryMs);

    QHostAddress m_bindAddress;
    QList<quint16> m_ports;
    int m_leaseSeconds;
    std::unique_ptr<Upnp> m_upnp;
    std::unique_ptr<NatPmp> m_natPmp;
    QString m_natPmpExternal;
    bool m_mapped = false;
    bool m_gatewayGone = false; // the last request had no answer at all
};

// "718 ConflictInMappingEntry": a UPnP error code with its name.
QString upnpErrorText(int code);

} // namespace tarnivel
