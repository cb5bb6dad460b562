#pragma once
// Two network namespaces of the test's own, joined by a veth pair: "near" holds 192.0.2.1,
// "far" holds 192.0.2.2. Cutting the far side drops every packet there, as if its cable
// were pulled. Making them takes root (CAP_NET_ADMIN and CAP_SYS_ADMIN), `ip` and `nft`.
//
// A socket belongs to the namespace its creating thread was in at the time, whichever
// thread uses it later; EnterNamespace moves the calling thread for a scope.

#include "childprocess.h"

#include <QString>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <optional>

namespace tarnivel::test {

// Whether this process may make network namespaces: root's CAP_NET_ADMIN and CAP_SYS_ADMIN.
bool mayMakeNamespaces();

// Fails the test with what went wrong while `object` (anything with setupError()) was made.
#define VERIFY_SET_UP(object) QVERIFY2((object).setupError().isEmpty(), qPrintable((object).setupError()))

// Skips the test when this process may not make network namespaces; otherwise makes
// `Type name(arguments)` and fails the test with its set-up error (a tool that is missing,
// a step that failed). Only the rights make a test skip: anything else is a failure.
#define NAMESPACES_OR_SKIP(Type, name, ...)                                                                            \
    if (!::tarnivel::test::mayMakeNamespaces())                                                                        \
        QSKIP("needs network namespaces of its own, which take root (CAP_NET_ADMIN and CAP_SYS_ADMIN)");               \
    Type name{__VA_ARGS__};                                                                                            \
    VERIFY_SET_UP(name)

class TwoNamespaces
{
public:
    static constexpr const char *NearAddress = "192.0.2.1";
    static constexpr const char *FarAddress = "192.0.2.2";

    // Why namespaces cannot be made here (no rights, no tools); nothing when they can.
    static std::optional<QString> unavailableBecause();

    // Names carry the process id, so test programs running side by side never meet. A tool
    // that is missing is a set-up error.
    TwoNamespaces();
    ~TwoNamespaces();
    TwoNamespaces(const TwoNamespaces &) = delete;
    TwoNamespaces &operator=(const TwoNamespaces &) = delete;

    // Empty when both namespaces stand and are linked; otherwise what failed.
    QString setupError() const { return m_setupError; }
    QString nearName() const { return m_near; }
    QString farName() const { return m_far; }

    // Drop every packet into and out of the far namespace. Empty on success, else what failed.
    [[nodiscard]] QString cutFar();
    // One more address on the near end of the link (a second copy on the near machine).
    [[nodiscard]] QString addNearAddress(const QString &address);
    // The near namespace's loopback interface up (copies bound to 127.0.0.N there).
    [[nodiscard]] QString upNearLoopback();
    // The veth end's name inside either namespace.
    static QString linkName();

private:
    QString m_near;
    QString m_far;
    QString m_setupError;
};

// A home network behind a router, all in namespaces of the test's own:
//   home (192.0.2.2, .3) --lan-- (192.0.2.1) router (198.51.100.1) --wan-- internet (198.51.100.2, .3)
// The router forwards and masquerades what leaves through wan; with a gateway it runs
// Debian's miniupnpd (nftables, NAT-PMP on, UPnP IGD as asked) in the foreground with a
// configuration of the test's own. miniupnpd refuses to forward for an outside address in
// a reserved range unless a STUN server confirms that address is its public one, so the
// internet namespace answers STUN on 198.51.100.2:3478 (and from .3 and port 3479 when a
// request asks for another address or port).
class GatewayNetwork
{
public:
    enum class Gateway { None, Upnp, NatPmpOnly };
    static constexpr const char *HomeAddress = "192.0.2.2";
    static constexpr const char *SecondHomeAddress = "192.0.2.3"; // a second copy on the same machine
    static constexpr const char *RouterOutside = "198.51.100.1";
    static constexpr const char *InternetAddress = "198.51.100.2";

    // Why it cannot be built here; nothing when it can.
    static std::optional<QString> unavailableBecause();

    explicit GatewayNetwork(Gateway gateway);
    ~GatewayNetwork();
    GatewayNetwork(const GatewayNetwork &) = delete;
    GatewayNetwork &operator=(const GatewayNetwork &) = delete;

    // Empty when everything stands (miniupnpd listening, if asked for); otherwise what failed.
    QString setupError() const { return m_setupError; }
    QString homeName() const { return m_names[0]; }
    QString routerName() const { return m_names[1]; }
    QString internetName() const { return m_names[2]; }
    // The router's forwarding rules that miniupnpd keeps (its nftables chain), as nft lists them.
    QString forwardingRules() const;
    // What miniupnpd has said so far.
    QString gatewayLog();

private:
    QString m_names[3];
    QString m_setupError;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<ChildProcess> m_miniupnpd;
    std::unique_ptr<QObject> m_stun; // the STUN sockets, made in the internet namespace
};

// The calling thread is in the named namespace until the guard goes.
class EnterNamespace
{
public:
    explicit EnterNamespace(const QString &name);
    ~EnterNamespace();
    EnterNamespace(const EnterNamespace &) = delete;
    EnterNamespace &operator=(const EnterNamespace &) = delete;

    // Empty when the thread moved; otherwise why not.
    QString error() const { return m_error; }

private:
    int m_home = -1;
    QString m_error;
};

} // namespace tarnivel::test
