#pragma once
// Two network namespaces of the test's own, joined by a veth pair: "near" holds 192.0.2.1,
// "far" holds 192.0.2.2. Cutting the far side drops every packet there, as if its cable
// were pulled. Making them takes root (CAP_NET_ADMIN and CAP_SYS_ADMIN), `ip` and `nft`.
//
// A socket belongs to the namespace its creating thread was in at the time, whichever
// thread uses it later; EnterNamespace moves the calling thread for a scope.

#include <QString>
#include <optional>

namespace tarnivel::test {

// A system tool's path, looking in the sbin folders too (root's tools are not on every PATH).
QString findTool(const QString &name);

class TwoNamespaces
{
public:
    static constexpr const char *NearAddress = "192.0.2.1";
    static constexpr const char *FarAddress = "192.0.2.2";

    // Why namespaces cannot be made here (no rights, no tools); nothing when they can.
    static std::optional<QString> unavailableBecause();

    // Names carry the process id, so test programs running side by side never meet.
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
