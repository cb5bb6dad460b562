#include "avahiinnamespace.h"
#include "netnamespaces.h"

#include <QDeadlineTimer>
#include <QFile>

#include <csignal>
#include <sys/prctl.h>

namespace tarnivel::test {

namespace {

constexpr int StartWaitMs = 20000;
constexpr int StopWaitMs = 5000;

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Reads the process's output until it holds `marker`; false when it ends or time runs out.
bool waitForOutput(QProcess &process, const QByteArray &marker, QByteArray &seen)
{
    const QDeadlineTimer deadline(StartWaitMs);
    while (!seen.contains(marker)) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            return false;
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        seen += process.readAll();
    }
    return true;
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(StopWaitMs)) {
        process.kill();
        process.waitForFinished(StopWaitMs);
    }
}

} // namespace

void endWithThisProcess(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

std::optional<QString> TestSystemBus::unavailableBecause()
{
    if (findTool(QStringLiteral("dbus-daemon")).isEmpty())
        return QStringLiteral("`dbus-daemon` is not installed (tools/install-deps.sh installs it)");
    return std::nullopt;
}

TestSystemBus::TestSystemBus(const QString &socketPath)
    : m_address(QStringLiteral("unix:path=") + socketPath)
{
    const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
    // Anyone may own any name and talk to anyone: the bus serves this test alone.
    const QByteArray text = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                            "<busconfig>\n"
                            "  <listen>" + m_address.toUtf8() + "</listen>\n"
                            "  <auth>EXTERNAL</auth>\n"
                            "  <policy context=\"default\">\n"
                            "    <allow user=\"*\"/>\n"
                            "    <allow own=\"*\"/>\n"
                            "    <allow send_type=\"method_call\"/>\n"
                            "    <allow send_type=\"signal\"/>\n"
                            "    <allow send_type=\"method_return\"/>\n"
                            "    <allow send_type=\"error\"/>\n"
                            "    <allow receive_type=\"method_call\"/>\n"
                            "    <allow receive_type=\"signal\"/>\n"
                            "    <allow receive_type=\"method_return\"/>\n"
                            "    <allow receive_type=\"error\"/>\n"
                            "  </policy>\n"
                            "</busconfig>\n";
    if (!m_folder.isValid() || !writeFile(config, text)) {
        m_setupError = QStringLiteral("cannot write the bus configuration");
        return;
    }
    endWithThisProcess(m_process);
    m_process.start(findTool(QStringLiteral("dbus-daemon")),
                    {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                     QStringLiteral("--print-address=1")});
    QByteArray said;
    if (!waitForOutput(m_process, "unix:", said))
        m_setupError = QStringLiteral("dbus-daemon did not start: ") + QString::fromLocal8Bit(m_process.readAllStandardError());
}

TestSystemBus::~TestSystemBus()
{
    stop(m_process);
}

std::optional<QString> AvahiInNamespace::unavailableBecause()
{
    for (const QString tool : {QStringLiteral("dbus-daemon"), QStringLiteral("avahi-daemon"), QStringLiteral("mount")}) {
        if (findTool(tool).isEmpty())
            return QStringLiteral("`%1` is not installed (tools/install-deps.sh installs it)").arg(tool);
    }
    return std::nullopt;
}

AvahiInNamespace::AvahiInNamespace(const QString &netns, const QString &interfaces, const QString &hostName)
    : m_netns(netns)
    , m_bus(m_folder.filePath(QStringLiteral("bus")))
{
    if (!m_bus.setupError().isEmpty()) {
        m_setupError = m_bus.setupError();
        return;
    }
    const QString daemonConfig = m_folder.filePath(QStringLiteral("avahi-daemon.conf"));
    // No ratelimit-* keys: Avahi then limits nothing.
    const QByteArray daemon = "[server]\n"
                              "host-name=" + hostName.toUtf8() + "\n"
                              "use-ipv4=yes\n"
                              "use-ipv6=no\n"
                              "allow-interfaces=" + interfaces.toUtf8() + "\n"
                              "enable-dbus=yes\n"
                              "[wide-area]\n"
                              "enable-wide-area=no\n"
                              "[publish]\n"
                              "publish-hinfo=no\n"
                              "publish-workstation=no\n"
                              "[reflector]\n"
                              "enable-reflector=no\n";
    if (!m_folder.isValid() || !writeFile(daemonConfig, daemon)) {
        m_setupError = QStringLiteral("cannot write the daemon's configuration");
        return;
    }
    // `ip netns exec` gives the daemon a mount namespace of its own, where a fresh /run
    // holds its pid file and socket.
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    start(m_daemon, QStringLiteral("/bin/sh"),
          {QStringLiteral("-c"), QStringLiteral("mount -t tmpfs tarnivel-run /run && exec \"$0\" \"$@\""),
           findTool(QStringLiteral("avahi-daemon")), QStringLiteral("--no-drop-root"), QStringLiteral("--no-chroot"),
           QStringLiteral("--no-rlimits"), QStringLiteral("--no-proc-title"), QStringLiteral("-f"), daemonConfig});
    QByteArray said;
    if (!waitForOutput(m_daemon, "Server startup complete", said))
        m_setupError = QStringLiteral("avahi-daemon did not start: ") + QString::fromLocal8Bit(said);
}

AvahiInNamespace::~AvahiInNamespace()
{
    stop(m_daemon);
}

void AvahiInNamespace::start(QProcess &process, const QString &program, const QStringList &arguments) const
{
    endWithThisProcess(process);
    QStringList command{QStringLiteral("netns"), QStringLiteral("exec"), m_netns, findTool(QStringLiteral("env")),
                        QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=") + busAddress(), QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                        program};
    command += arguments;
    process.start(findTool(QStringLiteral("ip")), command);
}

} // namespace tarnivel::test
