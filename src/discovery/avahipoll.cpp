#include "discovery/avahipoll.h"

#include <avahi-common/timeval.h>

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <climits>

// Avahi names these two types; what they hold is up to the event loop that carries them.
struct AvahiWatch
{
    tarnivel::QtAvahiPoll *poll;
    int fd;
    AvahiWatchEvent wanted;
    AvahiWatchCallback callback;
    void *userdata;
    // Made only once wanted: a second read notifier on a descriptor, even a disabled one,
    // would clash with the one of another watch on it.
    QSocketNotifier *readable = nullptr;
    QSocketNotifier *writable = nullptr;
    // While the callback runs: what happened, and where to note that the watch was freed.
    AvahiWatchEvent happened = AvahiWatchEvent(0);
    bool *freedInCallback = nullptr;
};

struct AvahiTimeout
{
    tarnivel::QtAvahiPoll *poll;
    QTimer *timer;
    AvahiTimeoutCallback callback;
    void *userdata;
};

namespace tarnivel {

namespace {

QtAvahiPoll *pollOf(const AvahiPoll *api)
{
    return static_cast<QtAvahiPoll *>(api->userdata);
}

// Avahi may free a watch or a timeout from inside its own notifier's or timer's signal:
// the Qt object goes once that signal has returned.
void retire(QObject *object)
{
    if (!object)
        return;
    object->disconnect();
    if (auto *notifier = qobject_cast<QSocketNotifier *>(object))
        notifier->setEnabled(false);
    if (auto *timer = qobject_cast<QTimer *>(object))
        timer->stop();
    object->deleteLater();
}

void dispatch(AvahiWatch *w, AvahiWatchEvent event)
{
    w->poll->noteWakeup();
    bool freed = false;
    w->happened = event;
    w->freedInCallback = &freed;
    w->callback(w, w->fd, event, w->userdata);
    if (freed)
        return;
    w->happened = AvahiWatchEvent(0);
    w->freedInCallback = nullptr;
}

void follow(AvahiWatch *w, QSocketNotifier *&notifier, QSocketNotifier::Type type, AvahiWatchEvent event)
{
    const bool wanted = w->wanted & event;
    if (notifier) {
        notifier->setEnabled(wanted);
        return;
    }
    if (!wanted)
        return;
    notifier = new QSocketNotifier(w->fd, type);
    // A hang-up or an error wakes the read side; Avahi's reader finds out which.
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [w, event] { dispatch(w, event); });
}

void followWanted(AvahiWatch *w)
{
    follow(w, w->readable, QSocketNotifier::Read, AVAHI_WATCH_IN);
    follow(w, w->writable, QSocketNotifier::Write, AVAHI_WATCH_OUT);
}

AvahiWatch *watchNew(const AvahiPoll *api, int fd, AvahiWatchEvent event, AvahiWatchCallback callback, void *userdata)
{
    auto *w = new AvahiWatch{pollOf(api), fd, event, callback, userdata};
    followWanted(w);
    return w;
}

void watchUpdate(AvahiWatch *w, AvahiWatchEvent event)
{
    w->wanted = event;
    followWanted(w);
}

AvahiWatchEvent watchGetEvents(AvahiWatch *w)
{
    return w->happened;
}

void watchFree(AvahiWatch *w)
{
    if (w->freedInCallback)
        *w->freedInCallback = true;
    retire(w->readable);
    retire(w->writable);
    delete w;
}

// tv is a moment on the wall clock; none disarms the timeout.
void timeoutUpdate(AvahiTimeout *t, const struct timeval *tv)
{
    if (!tv) {
        t->timer->stop();
        return;
    }
    const AvahiUsec age = avahi_age(tv); // negative while the moment lies ahead
    const qint64 ms = age >= 0 ? 0 : (-age + 999) / 1000;
    t->timer->start(int(std::min<qint64>(ms, INT_MAX)));
}

AvahiTimeout *timeoutNew(const AvahiPoll *api, const struct timeval *tv, AvahiTimeoutCallback callback, void *userdata)
{
    auto *t = new AvahiTimeout{pollOf(api), new QTimer, callback, userdata};
    t->timer->setSingleShot(true);
    QObject::connect(t->timer, &QTimer::timeout, t->timer, [t] {
        t->poll->noteWakeup();
        t->callback(t, t->userdata); // may free t
    });
    timeoutUpdate(t, tv);
    return t;
}

void timeoutFree(AvahiTimeout *t)
{
    retire(t->timer);
    delete t;
}

} // namespace

QtAvahiPoll::QtAvahiPoll()
    : m_api{this, &watchNew, &watchUpdate, &watchGetEvents, &watchFree, &timeoutNew, &timeoutUpdate, &timeoutFree}
{}

QtAvahiPoll::~QtAvahiPoll() = default;

} // namespace tarnivel
