#include "netnamespaces.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tarnivel::test {

QString findTool(const QString &name)
{
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

namespace {

constexpr int CapNetAdmin = 12;
constexpr int CapSysAdmin = 21;
const QString Link = QStringLiteral("tarnivel0"); // the veth end's name inside either namespace

bool hasCapabilities()
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
    return QStringLiteral("tarnivel-%1-%2-%3").arg(QCoreApplication::applicationPid()).arg(pair).arg(QLatin1String(side));
}

int nextPair()
{
    static std::atomic<int> made{0};
    return made++;
}

} // namespace

std::optional<QString> TwoNamespaces::unavailableBecause()
{
    if (!hasCapabilities())
        return QStringLiteral("making network namespaces takes root (CAP_NET_ADMIN and CAP_SYS_ADMIN)");
    for (const QString tool : {QStringLiteral("ip"), QStringLiteral("nft")}) {
        if (findTool(tool).isEmpty())
            return QStringLiteral("`%1` is not installed (tools/install-deps.sh installs it)").arg(tool);
    }
    return std::nullopt;
}

TwoNamespaces::TwoNamespaces()
{
    const int pair = nextPair();
    m_near = uniqueName(pair, "near");
    m_far = uniqueName(pair, "far");
    const QStringList steps[] = {
        {QStringLiteral("netns"), QStringLiteral("add"), m_near},
        {QStringLiteral("netns"), QStringLiteral("add"), m_far},
        {QStringLiteral("link"), QStringLiteral("add"), Link, QStringLiteral("netns"), m_near, QStringLiteral("type"),
         QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), Link, QStringLiteral("netns"), m_far},
        {QStringLiteral("-n"), m_near, QStringLiteral("addr"), QStringLiteral("add"), QLatin1String(NearAddress) + QStringLiteral("/24"),
         QStringLiteral("dev"), Link},
        {QStringLiteral("-n"), m_far, QStringLiteral("addr"), QStringLiteral("add"), QLatin1String(FarAddress) + QStringLiteral("/24"),
         QStringLiteral("dev"), Link},
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
    return run(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("exec"), m_far, findTool(QStringLiteral("nft")),
                                      QStringLiteral("add table inet cut;"
                                                     "add chain inet cut in { type filter hook input priority 0; };"
                                                     "add rule inet cut in drop;"
                                                     "add chain inet cut out { type filter hook output priority 0; };"
                                                     "add rule inet cut out drop")});
}

QString TwoNamespaces::addNearAddress(const QString &address)
{
    return run(QStringLiteral("ip"), {QStringLiteral("-n"), m_near, QStringLiteral("addr"), QStringLiteral("add"),
                                      address + QStringLiteral("/24"), QStringLiteral("dev"), Link});
}

QString TwoNamespaces::upNearLoopback()
{
    return run(QStringLiteral("ip"), {QStringLiteral("-n"), m_near, QStringLiteral("link"), QStringLiteral("set"),
                                      QStringLiteral("lo"), QStringLiteral("up")});
}

QString TwoNamespaces::linkName()
{
    return Link;
}

EnterNamespace::EnterNamespace(const QString &name)
{
    const QByteArray path = QFile::encodeName(QStringLiteral("/run/netns/") + name);
    const int target = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    m_home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (target < 0 || m_home < 0 || ::setns(target, CLONE_NEWNET) != 0) {
        m_error = QStringLiteral("cannot enter namespace %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno)));
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
