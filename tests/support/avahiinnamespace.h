#pragma once
// A D-Bus system bus and an Avahi daemon of the test's own, for one network namespace. The
// bus listens on a socket path in a temporary folder (a path reaches across namespaces, an
// abstract socket would not); the daemon runs inside the namespace on that bus, announcing
// on the interfaces given only, IPv4 only, no wide area, no reflector, no rate limits, no chroot,
// with a /run of its own (daemons side by side keep their pid files apart). Both end with
// this object, and with the test process should it die first. Takes root.

#include "childprocess.h"

#include <QString>
#include <QTemporaryDir>
#include <optional>

namespace tarnivel::test {

// A D-Bus bus of the test's own on a socket path; its address goes in DBUS_SYSTEM_BUS_ADDRESS.
class TestSystemBus
{
public:
    explicit TestSystemBus(const QString &socketPath);
    ~TestSystemBus();
    TestSystemBus(const TestSystemBus &) = delete;
    TestSystemBus &operator=(const TestSystemBus &) = delete;

    QString setupError() const { return m_setupError; }
    QString address() const { return m_address; }

private:
    QTemporaryDir m_folder;
    QString m_address;
    ChildProcess m_process;
    QString m_setupError;
};

class AvahiInNamespace
{
public:
    // Why the daemons cannot run here (not installed); nothing when they can.
    static std::optional<QString> unavailableBecause();

    // Waits until the daemon has its host name (hostName + ".local") on interfaces (a
    // comma-separated list).
    AvahiInNamespace(const QString &netns, const QString &interfaces, const QString &hostName);
    ~AvahiInNamespace();
    AvahiInNamespace(const AvahiInNamespace &) = delete;
    AvahiInNamespace &operator=(const AvahiInNamespace &) = delete;

    // Empty when bus and daemon run; otherwise what failed.
    QString setupError() const { return m_setupError; }
    QString busAddress() const { return m_bus.address(); }

    // Starts program inside the namespace, on this bus, headless; it ends with the test.
    bool start(ChildProcess &process, const QString &program, const QStringList &arguments) const;

private:
    QString m_netns;
    QTemporaryDir m_folder;
    TestSystemBus m_bus;
    ChildProcess m_daemon;
    QString m_setupError;
};

} // namespace tarnivel::test
