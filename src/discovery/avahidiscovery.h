#pragma once
// DNS-SD through the Avahi daemon, reached over the D-Bus system bus with libavahi-client.
// Every Avahi call waits for the daemon's answer, so Avahi lives on a thread of its own whose
// Qt event loop carries Avahi's watches and timeouts; commands go there and results come
// back as queued calls, and the owner's thread never waits.
//
// Without a daemon nothing spins: a daemon that starts later is noticed through the bus,
// and a bus that cannot be reached is tried again after 15 s, then half as often each time
// (at most every 4 minutes).

#include "discovery/landiscovery.h"

class QThread;

namespace tarnivel {

class AvahiLink;

class AvahiDiscovery : public LanDiscovery
{
    Q_OBJECT
public:
    explicit AvahiDiscovery(QObject *parent = nullptr);
    // Withdraws what was announced; waits at most 2 s for Avahi's thread to end.
    ~AvahiDiscovery() override;

    void announce(const LanAnnouncement &announcement) override;
    void withdraw() override;
    void startBrowsing() override;
    void stopBrowsing() override;

    // For tests: how often Avahi's thread woke up for Avahi, and how often it tried to reach
    // the daemon.
    quint64 wakeups() const;
    int clientAttempts() const;

    static constexpr int FirstRetryMs = 15000;
    static constexpr int LastRetryMs = 240000;

private:
    friend class AvahiLink;
    void setAvailability(LanAvailability availability);

    QThread *m_thread;
    AvahiLink *m_link;
    LanAvailability m_availability = LanAvailability::Unknown;
};

} // namespace tarnivel
