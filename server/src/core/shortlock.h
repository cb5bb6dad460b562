#pragma once

#include <pthread.h>

namespace tarnivel::dirserver {

// A mutex for critical sections of a few hash look-ups: a thread that finds it taken spins a
// moment before it sleeps (glibc's adaptive mutex), as the holder, running on another core,
// is usually done by then. A waiter that goes to sleep at once would wait until it is woken and
// scheduled again, a long time for a request when the cores are busy. BasicLockable, for
// std::lock_guard, std::unique_lock and std::condition_variable_any.
class ShortLock
{
public:
    ShortLock()
    {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
        pthread_mutex_init(&handle, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    ~ShortLock() { pthread_mutex_destroy(&handle); }
    ShortLock(const ShortLock &) = delete;
    ShortLock &operator=(const ShortLock &) = delete;

    void lock() { pthread_mutex_lock(&handle); }
    void unlock() { pthread_mutex_unlock(&handle); }

private:
    pthread_mutex_t handle;
};

} // namespace tarnivel::dirserver
