#pragma once
// The Avahi side of AvahiDiscovery: the client, the announcement's entry group, the browser
// and one resolver per copy found. It lives on Avahi's thread and everything here runs
// there; results go to the owner as queued calls.

#include "discovery/avahidiscovery.h"
#include "discovery/avahipoll.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>

#include <QHash>
#include <QObject>
#include <atomic>
#include <functional>
#include <optional>

class QTimer;

namespace tarnivel {

class AvahiLink : public QObject
{
public:
    explicit AvahiLink(AvahiDiscovery &owner);

    void setAnnouncement(std::optional<LanAnnouncement> announcement);
    void setBrowsing(bool on);
    // Frees everything (the daemon withdraws what was published) and ends the thread.
    void shutDown();

    quint64 wakeups() const { return m_poll.wakeups(); }
    std::atomic<int> attempts{0};

private:
    // Runs f on the owner, on the owner's thread.
    void tell(std::function<void(AvahiDiscovery &)> f);
    void tellAvailability(LanAvailability availability);
    void tellAnnounceFailed(const QString &reason);

    bool running() const;
    bool ensureClient();
    void retry();
    void dropClient(bool quietly);
    void restartAfterFailure(int error);
    void publish();
    bool addEntries(const LanAnnouncement &announcement);
    void dropGroup();
    void startBrowser();
    void dropBrowser();

    static void onClient(AvahiClient *client, AvahiClientState state, void *self);
    static void onGroup(AvahiEntryGroup *group, AvahiEntryGroupState state, void *self);
    static void onBrowse(AvahiServiceBrowser *browser, AvahiIfIndex interface, AvahiProtocol protocol,
                         AvahiBrowserEvent event, const char *name, const char *type, const char *domain,
                         AvahiLookupResultFlags flags, void *self);
    static void onResolve(AvahiServiceResolver *resolver, AvahiIfIndex interface, AvahiProtocol protocol,
                          AvahiResolverEvent event, const char *name, const char *type, const char *domain,
                          const char *hostName, const AvahiAddress *address, uint16_t port, AvahiStringList *txt,
                          AvahiLookupResultFlags flags, void *self);

    AvahiDiscovery *m_owner;
    QtAvahiPoll m_poll;
    QTimer *m_retry;
    int m_retryDelayMs = AvahiDiscovery::FirstRetryMs;
    bool m_restartQueued = false;
    AvahiClient *m_client = nullptr;

    std::optional<LanAnnouncement> m_wanted;
    AvahiEntryGroup *m_group = nullptr;
    // What the group holds, and how it was published.
    std::optional<LanAnnouncement> m_published;
    AvahiIfIndex m_publishedInterface = AVAHI_IF_UNSPEC;
    // The instance name in use: the announced one, or an alternative after a clash.
    QString m_nameSource;
    QByteArray m_serviceName;
    QByteArray m_hostName; // empty unless bound to one address
    QHostAddress m_hostAddress;

    bool m_browsing = false;
    AvahiServiceBrowser *m_browser = nullptr;
    // One resolver per copy found; it stays and reports each change. Null once it failed.
    QHash<QString, AvahiServiceResolver *> m_resolvers;
};

} // namespace tarnivel
