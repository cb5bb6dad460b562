#pragma once
// Being found by copies on the same network, and finding them: DNS-SD over multicast DNS,
// service type "_tarnivel._tcp". The program uses Avahi (AvahiDiscovery); tests a fake.

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <optional>

namespace tarnivel {

inline constexpr const char *LanServiceType = "_tarnivel._tcp";

// What this copy tells the network about itself.
struct LanAnnouncement
{
    QString instanceName; // "name@host"; a clash on the network makes it "name@host #2"
    QHostAddress address; // where the copy listens; null: every address of the machine
    quint16 port = 0;
    int memberCount = 0;
    QString version;
    bool keyed = false; // takes only copies with its invite key: "keyed=1" in the TXT record, never the key
    friend bool operator==(const LanAnnouncement &, const LanAnnouncement &) = default;
};

// One copy found on one network interface.
struct FoundCopy
{
    QString key; // the announcement and the interface it was seen on; the same while it lasts
    QString instanceName;
    // The host its service record names: the machine's for a copy announced on every
    // interface (seen once per interface, with that interface's address), one of its own
    // for a copy bound to one address. With the name, it tells copies apart.
    QString hostName;
    QHostAddress address;
    quint16 port = 0;
    std::optional<int> memberCount; // absent when its record does not say
    QString version;
    bool keyed = false;
};

enum class LanAvailability { Unknown, Available, Unavailable };

class LanDiscovery : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Publish this announcement, or change the one published; it stays until withdrawn or
    // the program ends.
    virtual void announce(const LanAnnouncement &announcement) = 0;
    virtual void withdraw() = 0;
    // While browsing, found and lost report the other copies on the network.
    virtual void startBrowsing() = 0;
    virtual void stopBrowsing() = 0;

signals:
    void availabilityChanged(LanAvailability availability);
    // A copy appeared or what it announces changed.
    void found(const FoundCopy &copy);
    void lost(const QString &key);
    // The announcement could not be published (said once per failure).
    void announceFailed(const QString &reason);
};

} // namespace tarnivel
