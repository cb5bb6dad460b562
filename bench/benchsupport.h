#pragma once
// Small pieces every benchmark program needs.

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QtGlobal>

#include <functional>

namespace tarnivel::bench {

// Peak resident memory of this process so far (VmHWM), in KiB; -1 when unknown.
inline qint64 peakMemoryKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Benchmarks run headless unless a platform is chosen.
inline void useOffscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Runs the event loop until done() holds (a benchmark's main, never a handler); false after
// timeoutMs.
inline bool runUntil(const std::function<bool()> &done, int timeoutMs = 20000)
{
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] { timedOut = true; });
    guard.start(timeoutMs);
    while (!done()) {
        if (timedOut)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace tarnivel::bench
