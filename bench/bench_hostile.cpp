// A hostile peer against a copy with its window shown: it greets with a huge name, then
// sends a burst of chat lines. The copy's user types a line as soon as the burst has been
// written; the time until an honest member has that line tells how long the window was
// frozen (target: within 1 s of the burst's end). Peak memory should stay under 300 MB.
//
// Usage: bench_hostile [name bytes] [burst bytes]   (default 1 MB and 10 MB)

#include "benchsupport.h"
#include "testcopy.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

using namespace tarnivel;

namespace {

// Writes with a plain blocking socket from its own thread, so the copy's event loop is the
// only thing the main thread runs.
bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

class HostilePeer : public QThread
{
public:
    HostilePeer(QHostAddress from, QHostAddress to, qsizetype nameBytes, qsizetype burstBytes)
        : m_from(from), m_to(to), m_nameBytes(nameBytes), m_burstBytes(burstBytes)
    {
    }
    std::atomic<bool> ok{false};
    std::atomic<qint64> burstEndNs{0};
    QElapsedTimer *clock = nullptr;

protected:
    void run() override
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(m_from.toIPv4Address());
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(3220);
        remote.sin_addr.s_addr = htonl(m_to.toIPv4Address());
        if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
            || ::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
            ::close(fd);
            return;
        }
        QByteArray hello(1, '\x02');
        hello += QByteArray(m_nameBytes, 'N');
        if (!writeAll(fd, hello)) {
            ::close(fd);
            return;
        }
        QThread::msleep(200); // the greeting arrives as a message of its own
        const QByteArray line("evil> The quick brown fox jumps over the lazy dog, again and again.\r\n");
        QByteArray burst;
        burst.reserve(m_burstBytes + line.size());
        while (burst.size() < m_burstBytes)
            burst += line;
        ok = writeAll(fd, burst);
        burstEndNs = clock->nsecsElapsed();
        // Stay connected: a peer that has said its piece and lingers.
        QThread::msleep(60000);
        ::close(fd);
    }

private:
    QHostAddress m_from;
    QHostAddress m_to;
    qsizetype m_nameBytes;
    qsizetype m_burstBytes;
};

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const qsizetype nameBytes = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 1 << 20;
    const qsizetype burstBytes = argc > 2 ? QString::fromLocal8Bit(argv[2]).toLongLong() : 10 << 20;

    test::WindowCopy victim(1, QStringLiteral("被害者"));
    test::TestCopy honest(2, QStringLiteral("正直"));
    victim.window().show();
    honest.joinThrough(victim.address());
    QElapsedTimer waitJoin;
    waitJoin.start();
    while (honest.namedMemberCount() != 1 || victim.namedMemberCount() != 1) {
        if (waitJoin.elapsed() > 10000) {
            std::printf("the honest member did not join\n");
            return 2;
        }
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    victim.window().togglePeerColumn(); // the member list shows the hostile name too

    QElapsedTimer clock;
    clock.start();
    HostilePeer peer(test::loopback(3), test::loopback(1), nameBytes, burstBytes);
    peer.clock = &clock;
    peer.start();

    const QString probe = QStringLiteral("まだ生きてる");
    qint64 typedNs = -1;
    qint64 arrivedNs = -1;
    // The user types as soon as the burst is out; the keystroke waits behind whatever the
    // window is busy with, as it would for a person.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (typedNs < 0 && peer.burstEndNs > 0) {
            typedNs = clock.nsecsElapsed();
            victim.say(probe);
        }
        if (typedNs >= 0 && arrivedNs < 0 && honest.logText().contains(probe))
            arrivedNs = clock.nsecsElapsed();
    });
    poll.start(1);
    while (arrivedNs < 0 && clock.elapsed() < 300000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (arrivedNs < 0 || !peer.ok) {
        std::printf("the probe line never arrived (burst written: %s)\n", peer.ok ? "yes" : "no");
        return 2;
    }
    const double frozenS = double(arrivedNs - peer.burstEndNs) / 1e9;
    const double peakMiB = bench::peakMemoryKiB() / 1024.0;
    const bool quick = frozenS <= 1.0;
    const bool small = peakMiB < 300.0;
    std::printf("hello name %lld bytes, burst %lld bytes\n", qlonglong(nameBytes), qlonglong(burstBytes));
    std::printf("burst written after %.2f s; typed line reached the honest member %.2f s after the burst's end  %s (target <= 1 s)\n",
                double(peer.burstEndNs) / 1e9, frozenS, quick ? "PASS" : "MISS");
    std::printf("still connected to the honest member: %s; victim log %lld characters\n",
                victim.namedMemberCount() >= 1 ? "yes" : "no", qlonglong(victim.session().logDocument().characterCount()));
    std::printf("peak memory (VmHWM): %.0f MiB  %s (target < 300 MB)\n", peakMiB, small ? "PASS" : "MISS");
    peer.terminate();
    peer.wait();
    return quick && small ? 0 : 1;
}
