#pragma once
// Avahi's event-loop interface carried by the Qt event loop of the thread that makes it:
// file watches are socket notifiers, timeouts single-shot timers. Avahi then never waits in
// a loop of its own.

#include <avahi-common/watch.h>

#include <QtGlobal>
#include <atomic>

namespace tarnivel {

class QtAvahiPoll
{
public:
    QtAvahiPoll();
    // Avahi must have freed its watches and timeouts first (freeing the client does).
    ~QtAvahiPoll();
    QtAvahiPoll(const QtAvahiPoll &) = delete;
    QtAvahiPoll &operator=(const QtAvahiPoll &) = delete;

    const AvahiPoll *api() const { return &m_api; }
    // How many times a watch or a timeout has called into Avahi.
    quint64 wakeups() const { return m_wakeups.load(); }
    void noteWakeup() { ++m_wakeups; }

private:
    AvahiPoll m_api;
    std::atomic<quint64> m_wakeups{0};
};

} // namespace tarnivel
