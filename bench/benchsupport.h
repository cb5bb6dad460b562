#pragma once
// Small pieces every benchmark program needs.

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

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

} // namespace tarnivel::bench
