#include "avahiinnamespace.h"

#include <QFile>

namespace tarnivel::test {

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

TestSystemBus::TestSystemBus(const QString &socketPath) : m_address(QStringLiteral("unix:path=") + socketPath)
{
    const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
    // Anyone may own any name and talk to anyone: the bus serves this test alone.
    const QByteArray text = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                            "<busconfig>\n"
                            "  <listen>"
        + m_address.toUtf8()
        + "</listen>\n"
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
    if (const std::optional<QString> missing = missingTool({"dbus-daemon"})) {
        m_setupError = *missing;
        return;
    }
    if (!m_folder.isValid() || !writeFile(config, text)) {
        m_setupError = QStringLiteral("cannot write the bus configuration");
        return;
    }
    m_process.process().setProcessChannelMode(QProcess::MergedChannels);
    if (!m_process.start(findTool(QStringLiteral("dbus-daemon")),
                         {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                          QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")})
        || !m_process.waitFor(QStringLiteral("unix:")))
        m_setupError = QStringLiteral("dbus-daemon did not start: ") + m_process.error();
}

TestSystemBus::~TestSystemBus() = default;

std::optional<QString> AvahiInNamespace::unavailableBecause()
{
    return missingTool({"dbus-daemon", "avahi-daemon", "mount"});
}

AvahiInNamespace::AvahiInNamespace(const QString &netns, const QString &interfaces, const QString &hostName)
    : m_netns(netns)
    , m_bus(m_folder.filePath(QStringLiteral("bus")))
{
    if (const std::optional<QString> missing = unavailableBecause()) {
        m_setupError = *missing;
        return;
    }
    if (!m_bus.setupError().isEmpty()) {
        m_setupError = m_bus.setupError();
        return;
    }
    const QString daemonConfig = m_folder.filePath(QStringLiteral("avahi-daemon.conf"));
    // No ratelimit-* keys: Avahi then limits nothing.
    const QByteArray daemon = "[server]\n"
                              "host-name="
        + hostName.toUtf8()
        + "\n"
          "use-ipv4=yes\n"
          "use-ipv6=no\n"
          "allow-interfaces="
        + interfaces.toUtf8()
        + "\n"
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
    m_daemon.process().setProcessChannelMode(QProcess::MergedChannels);
    if (!start(m_daemon, QStringLiteral("/bin/sh"),
               {QStringLiteral("-c"), QStringLiteral("mount -t tmpfs tarnivel-run /run && exec \"$0\" \"$@\""),
                findTool(QStringLiteral("avahi-daemon")), QStringLiteral("--no-drop-root"),
                QStringLiteral("--no-chroot"), QStringLiteral("--no-rlimits"), QStringLiteral("--no-proc-title"),
                QStringLiteral("-f"), daemonConfig})
        || !m_daemon.waitFor(QStringLiteral("Server startup complete")))
        m_setupError = QStringLiteral("avahi-daemon did not start: ") + m_daemon.error();
}

AvahiInNamespace::~AvahiInNamespace() = default;

bool AvahiInNamespace::start(ChildProcess &process, const QString &program, const QStringList &arguments) const
{
    return process.start(findTool(QStringLiteral("env")),
                         QStringList{QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=") + busAddress(),
                                     QStringLiteral("QT_QPA_PLATFORM=offscreen"), program}
                             + arguments,
                         m_netns);
}

} // namespace tarnivel::test
