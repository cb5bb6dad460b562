#pragma once
// This copy on the same network. While the switch "LANで自分を知らせる" is on, it is announced
// from loading to unloading: "name@host", the chat port at the address it listens on, and in
// its TXT record the member count (as the title counts) and the version; the announcement
// follows the name and the count. While the list of nearby copies is shown, the other
// copies found are kept, one row per copy, those already in our chat marked.

#include "discovery/landiscovery.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <optional>

namespace tarnivel {

class Mesh;
struct Preferences;

struct NearbyCopy
{
    QString name; // as announced: "name@host"
    QString address;
    std::optional<int> memberCount;
    bool inOurChat = false;
    bool keyed = false; // it announces an invite key (which one, nobody can tell)
    friend bool operator==(const NearbyCopy &, const NearbyCopy &) = default;
};

class LanPresence : public QObject
{
    Q_OBJECT
public:
    LanPresence(LanDiscovery &discovery, const Mesh &mesh, const Preferences &prefs, const QHostAddress &bindAddress,
                QString version, QObject *parent = nullptr);

    // The user's name and the host name, cut to the 63 bytes of UTF-8 a DNS-SD name may hold.
    static QString instanceName(const QString &userName, const QString &hostName);
    // What is announced now, or would be.
    LanAnnouncement announcement() const;

    // Loading: the copy listens now and may be found. Unloading: it goes from the network.
    void start();
    void stop();
    void setAnnouncing(bool on);
    bool announcing() const { return m_announcing; }
    // Whether this copy has an invite key (announced as a flag, never the key).
    void setKeyed(bool keyed);
    // The user's name may have changed.
    void refresh();

    void setBrowsing(bool on);
    bool browsing() const { return m_browsing; }
    // One row per copy, sorted by name.
    QList<NearbyCopy> copies() const;
    LanAvailability availability() const { return m_availability; }

signals:
    void copiesChanged();
    void availabilityChanged(LanAvailability availability);

private:
    void announceSoon();
    void announceNow();
    void onFound(const FoundCopy &copy);
    void onLost(const QString &key);

    LanDiscovery &m_discovery;
    const Mesh &m_mesh;
    const Preferences &m_prefs;
    QHostAddress m_bindAddress;
    QString m_version;
    QString m_hostName;
    bool m_started = false;
    bool m_announcing;
    bool m_keyed = false;
    // A burst of changes in one turn of the event loop (a join dialling ten members) makes
    // one update.
    bool m_announceQueued = false;
    std::optional<LanAnnouncement> m_announced;
    bool m_browsing = false;
    LanAvailability m_availability = LanAvailability::Unknown;
    QMap<QString, FoundCopy> m_found; // by key: one entry per copy and interface
    QString m_lastFailure;
};

} // namespace tarnivel
