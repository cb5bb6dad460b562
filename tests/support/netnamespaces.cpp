#include "netnamespaces.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tarnivel::test {

namespace {

constexpr int CapNetAdmin = 12;
constexpr int CapSysAdmin = 21;
const QString Link = QStringLiteral("tarnivel0"); // the veth end's name inside either namespace

} // namespace

bool mayMakeNamespaces()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (!line.startsWith("CapEff:"))
            continue;
        const quint64 effective = line.mid(7).trimmed().toULongLong(nullptr, 16);
        const quint64 needed = (quint64(1) << CapNetAdmin) | (quint64(1) << CapSysAdmin);
        return (effective & needed) == needed;
    }
    return false;
}

namespace {

// Run a tool to the end; empty on success, else the command and what it said.
QString run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(findTool(tool), arguments);
    const bool finished = process.waitForFinished(10000);
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return QString();
    return tool + u' ' + arguments.join(u' ') + QStringLiteral(": ")
        + QString::fromLocal8Bit(process.readAllStandardError()).trimmed()
        + (finished ? QString() : QStringLiteral(" (no end)"));
}

QString uniqueName(int pair, const char *side)
{
    return QStringLiteral("tarnivel-%1-%2-%3")
        .arg(QCoreApplication::applicationPid())
        .arg(pair)
        .arg(QLatin1String(side));
}

int nextPair()
{
    static std::atomic<int> made{0};
    return made++;
}

} // namespace

// Answers STUN binding requests from the four address/port pairs, each reply from the pair a
// CHANGE-REQUEST asks for, naming the requester's address in MAPPED-ADDRESS and
// XOR-MAPPED-ADDRESS.
class StunResponder : public QObject
{
public:
    static constexpr quint16 Ports[2] = {3478, 3479};
    static constexpr const char *Addresses[2] = {"198.51.100.2", "198.51.100.3"};

    bool listen()
    {
        for (int a = 0; a < 2; ++a) {
            for (int p = 0; p < 2; ++p) {
                auto *socket = new QUdpSocket(this);
                if (!socket->bind(QHostAddress(QLatin1String(Addresses[a])), Ports[p]))
                    return false;
                m_sockets[a][p] = socket;
                connect(socket, &QUdpSocket::readyRead, this, [this, a, p] { answer(a, p); });
            }
        }
        return true;
    }

private:
    void answer(int a, int p)
    {
        QUdpSocket *socket = m_sockets[a][p];
        while (socket->hasPendingDatagrams()) {
            const QNetworkDatagram request = socket->receiveDatagram();
            const QByteArray data = request.data();
            if (data.size() < 20)
                continue;
            quint32 change = 0;
            for (qsizetype at = 20; at + 4 <= data.size();) {
                const quint16 type = qFromBigEndian<quint16>(data.constData() + at);
                const quint16 length = qFromBigEndian<quint16>(data.constData() + at + 2);
                if (type == 0x0003 && length >= 4 && at + 8 <= data.size())
                    change = qFromBigEndian<quint32>(data.constData() + at + 4);
                at += 4 + (length + 3) / 4 * 4;
            }
            const int replyAddress = (change & 0x4) ? 1 - a : a;
            const int replyPort = (change & 0x2) ? 1 - p : p;
            const quint32 address = request.senderAddress().toIPv4Address();
            const quint16 port = quint16(request.senderPort());
            QByteArray body;
            const auto attribute = [&body](quint16 type, quint16 port, quint32 address) {
                char bytes[12];
                qToBigEndian<quint16>(type, bytes);
                qToBigEndian<quint16>(8, bytes + 2);
                bytes[4] = 0;
                bytes[5] = 1; // IPv4
                qToBigEndian<quint16>(port, bytes + 6);
                qToBigEndian<quint32>(address, bytes + 8);
                body.append(bytes, sizeof bytes);
            };
            constexpr quint32 MagicCookie = 0x2112A442;
            attribute(0x0001, port, address);
            attribute(0x0020, port ^ quint16(MagicCookie >> 16), address ^ MagicCookie);
            char head[4];
            qToBigEndian<quint16>(0x0101, head); // binding success
            qToBigEndian<quint16>(quint16(body.size()), head + 2);
            const QByteArray reply = QByteArray(head, 4) + data.mid(4, 16) + body;
            m_sockets[replyAddress][replyPort]->writeDatagram(reply, request.senderAddress(), port);
        }
    }

    QUdpSocket *m_sockets[2][2] = {};
};

std::optional<QString> TwoNamespaces::unavailableBecause()
{
    if (!mayMakeNamespaces())
        return QStringLiteral("making network namespaces takes root (CAP_NET_ADMIN and CAP_SYS_ADMIN)");
    return missingTool({"ip", "nft"});
}

TwoNamespaces::TwoNamespaces()
{
    const int pair = nextPair();
    m_near = uniqueName(pair, "near");
    m_far = uniqueName(pair, "far");
    if (const std::optional<QString> missing = missingTool({"ip", "nft"})) {
        m_setupError = *missing;
        return;
    }
    const QStringList steps[] = {
        {QStringLiteral("netns"), QStringLiteral("add"), m_near},
        {QStringLiteral("netns"), QStringLiteral("add"), m_far},
        {QStringLiteral("link"), QStringLiteral("add"), Link, QStringLiteral("netns"), m_near, QStringLiteral("type"),
         QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), Link, QStringLiteral("netns"), m_far},
        {QStringLiteral("-n"), m_near, QStringLiteral("addr"), QStringLiteral("add"),
         QLatin1String(NearAddress) + QStringLiteral("/24"), QStringLiteral("dev"), Link},
        {QStringLiteral("-n"), m_far, QStringLiteral("addr"), QStringLiteral("add"),
         QLatin1String(FarAddress) + QStringLiteral("/24"), QStringLiteral("dev"), Link},
        {QStringLiteral("-n"), m_near, QStringLiteral("link"), QStringLiteral("set"), Link, QStringLiteral("up")},
        {QStringLiteral("-n"), m_far, QStringLiteral("link"), QStringLiteral("set"), Link, QStringLiteral("up")},
    };
    for (const QStringList &step : steps) {
        m_setupError = run(QStringLiteral("ip"), step);
        if (!m_setupError.isEmpty())
            return;
    }
}

TwoNamespaces::~TwoNamespaces()
{
    // The veth pair goes with its namespaces. A namespace that was never made just fails here.
    (void)run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), m_far});
    (void)run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), m_near});
}

QString TwoNamespaces::cutFar()
{
    return run(QStringLiteral("ip"),
               {QStringLiteral("netns"), QStringLiteral("exec"), m_far, findTool(QStringLiteral("nft")),
                QStringLiteral("add table inet cut;"
                               "add chain inet cut in { type filter hook input priority 0; };"
                               "add rule inet cut in drop;"
                               "add chain inet cut out { type filter hook output priority 0; };"
                               "add rule inet cut out drop")});
}

QString TwoNamespaces::addNearAddress(const QString &address)
{
    return run(QStringLiteral("ip"),
               {QStringLiteral("-n"), m_near, QStringLiteral("addr"), QStringLiteral("add"),
                address + QStringLiteral("/24"), QStringLiteral("dev"), Link});
}

QString TwoNamespaces::upNearLoopback()
{
    return run(QStringLiteral("ip"),
               {QStringLiteral("-n"), m_near, QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"),
                QStringLiteral("up")});
}

QString TwoNamespaces::linkName()
{
    return Link;
}

// ---- A home network behind a router ----------------------------------------------------

std::optional<QString> GatewayNetwork::unavailableBecause()
{
    if (std::optional<QString> reason = TwoNamespaces::unavailableBecause())
        return reason;
    return missingTool({"miniupnpd"});
}

GatewayNetwork::GatewayNetwork(Gateway gateway) : m_folder(std::make_unique<QTemporaryDir>())
{
    const int set = nextPair();
    const char *sides[] = {"home", "router", "net"};
    for (int i = 0; i < 3; ++i)
        m_names[i] = uniqueName(set, sides[i]);
    const QString home = homeName(), router = routerName(), internet = internetName();
    if (const std::optional<QString> missing = missingTool({"ip", "nft", "miniupnpd"})) {
        m_setupError = *missing;
        return;
    }
    const auto ip = [](const QString &line) {
        return line.split(u' ');
    };
    const QStringList steps[] = {
        ip(QStringLiteral("netns add ") + home),
        ip(QStringLiteral("netns add ") + router),
        ip(QStringLiteral("netns add ") + internet),
        ip(QStringLiteral("link add lan0 netns %1 type veth peer name lan0 netns %2").arg(home, router)),
        ip(QStringLiteral("link add wan0 netns %1 type veth peer name wan0 netns %2").arg(router, internet)),
        ip(QStringLiteral("-n %1 addr add 192.0.2.2/24 dev lan0").arg(home)),
        ip(QStringLiteral("-n %1 addr add 192.0.2.3/24 dev lan0").arg(home)),
        ip(QStringLiteral("-n %1 addr add 192.0.2.1/24 dev lan0").arg(router)),
        ip(QStringLiteral("-n %1 addr add 198.51.100.1/24 dev wan0").arg(router)),
        ip(QStringLiteral("-n %1 addr add 198.51.100.2/24 dev wan0").arg(internet)),
        ip(QStringLiteral("-n %1 addr add 198.51.100.3/24 dev wan0").arg(internet)),
        ip(QStringLiteral("-n %1 link set lo up").arg(home)),
        ip(QStringLiteral("-n %1 link set lo up").arg(router)),
        ip(QStringLiteral("-n %1 link set lo up").arg(internet)),
        ip(QStringLiteral("-n %1 link set lan0 up").arg(home)),
        ip(QStringLiteral("-n %1 link set lan0 up").arg(router)),
        ip(QStringLiteral("-n %1 link set wan0 up").arg(router)),
        ip(QStringLiteral("-n %1 link set wan0 up").arg(internet)),
        ip(QStringLiteral("-n %1 route add default via 192.0.2.1").arg(home)),
        ip(QStringLiteral("netns exec %1 sysctl -qw net.ipv4.ip_forward=1").arg(router)),
    };
    for (const QStringList &step : steps) {
        m_setupError = run(QStringLiteral("ip"), step);
        if (!m_setupError.isEmpty())
            return;
    }
    // The chains miniupnpd fills (its default table and chain names), and masquerading on
    // the way out.
    m_setupError = run(QStringLiteral("ip"),
                       {QStringLiteral("netns"), QStringLiteral("exec"), router, findTool(QStringLiteral("nft")),
                        QStringLiteral("add table inet filter;"
                                       "add chain inet filter forward { type filter hook forward priority 0; };"
                                       "add chain inet filter miniupnpd;"
                                       "add rule inet filter forward jump miniupnpd;"
                                       "add chain inet filter prerouting { type nat hook prerouting priority -100; };"
                                       "add chain inet filter prerouting_miniupnpd;"
                                       "add rule inet filter prerouting jump prerouting_miniupnpd;"
                                       "add chain inet filter postrouting { type nat hook postrouting priority 100; };"
                                       "add chain inet filter postrouting_miniupnpd;"
                                       "add rule inet filter postrouting jump postrouting_miniupnpd;"
                                       "add rule inet filter postrouting oifname wan0 masquerade")});
    if (!m_setupError.isEmpty() || gateway == Gateway::None)
        return;

    {
        const EnterNamespace there(internet);
        if (!there.error().isEmpty()) {
            m_setupError = there.error();
            return;
        }
        auto stun = std::make_unique<StunResponder>();
        if (!stun->listen()) {
            m_setupError = QStringLiteral("the STUN responder cannot listen");
            return;
        }
        m_stun = std::move(stun);
    }

    const QString config = m_folder->filePath(QStringLiteral("miniupnpd.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        m_setupError = QStringLiteral("cannot write ") + config;
        return;
    }
    file.write(QStringLiteral("ext_ifname=wan0\n"
                              "listening_ip=lan0\n"
                              "http_port=5000\n"
                              "enable_natpmp=yes\n"
                              "enable_upnp=%1\n"
                              "secure_mode=yes\n"
                              "system_uptime=yes\n"
                              "ext_perform_stun=yes\n"
                              "ext_stun_host=198.51.100.2\n"
                              "ext_stun_port=3478\n"
                              "uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b\n"
                              "allow 1024-65535 192.0.2.0/24 1024-65535\n"
                              "deny 0-65535 0.0.0.0/0 0-65535\n")
                   .arg(gateway == Gateway::Upnp ? QStringLiteral("yes") : QStringLiteral("no"))
                   .toLatin1());
    file.close();
    m_miniupnpd = std::make_unique<ChildProcess>();
    m_miniupnpd->process().setProcessChannelMode(QProcess::MergedChannels);
    // It asks the STUN responder first, which this event loop answers while it waits.
    if (!m_miniupnpd->start(findTool(QStringLiteral("miniupnpd")),
                            {QStringLiteral("-d"), QStringLiteral("-f"), config, QStringLiteral("-P"),
                             m_folder->filePath(QStringLiteral("miniupnpd.pid"))},
                            router)
        || !m_miniupnpd->waitFor(QStringLiteral("Listening for NAT-PMP")))
        m_setupError = QStringLiteral("miniupnpd did not start: ") + m_miniupnpd->error();
}

GatewayNetwork::~GatewayNetwork()
{
    m_miniupnpd.reset();
    m_stun.reset();
    for (int i = 2; i >= 0; --i) {
        if (!m_names[i].isEmpty())
            (void)run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), m_names[i]});
    }
}

QString GatewayNetwork::forwardingRules() const
{
    QProcess nft;
    nft.start(findTool(QStringLiteral("ip")),
              {QStringLiteral("netns"), QStringLiteral("exec"), routerName(), findTool(QStringLiteral("nft")),
               QStringLiteral("list"), QStringLiteral("chain"), QStringLiteral("inet"), QStringLiteral("filter"),
               QStringLiteral("prerouting_miniupnpd")});
    nft.waitForFinished(10000);
    return QString::fromLocal8Bit(nft.readAllStandardOutput());
}

QString GatewayNetwork::gatewayLog()
{
    return m_miniupnpd ? m_miniupnpd->output() : QString();
}

EnterNamespace::EnterNamespace(const QString &name)
{
    const QByteArray path = QFile::encodeName(QStringLiteral("/run/netns/") + name);
    const int target = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (target < 0 || m_home < 0 || ::setns(target, CLONE_NEWNET) != 0) {
        m_error =
            QStringLiteral("cannot enter namespace %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
        if (m_home >= 0)
            ::close(m_home);
        m_home = -1;
    }
    if (target >= 0)
        ::close(target);
}

EnterNamespace::~EnterNamespace()
{
    if (m_home < 0)
        return;
    if (::setns(m_home, CLONE_NEWNET) != 0)
        qFatal("cannot return to the test's own network namespace: %s", std::strerror(errno));
    ::close(m_home);
}

} // namespace tarnivel::test
