// A hostile peer against a copy with its window shown, while the copy's user keeps typing
// (a line every 500 ms). The time until an honest member has each typed line tells how long
// the window was frozen: the worst and the median while the peer sends, and for the line
// typed right after it has done (target: within 1 s). Peak memory should stay under 300 MB.
//
// Usage: bench_hostile [burst [name bytes] [burst bytes]]   greets with a huge name (1 MB),
//                                                          then sends a burst (10 MB)
//        bench_hostile ungreeted [bytes]                   never greets, sends lines (40 MB)
//        bench_hostile steady [bytes per s] [seconds] [empty]
//                                                          greets, then sends at that rate
//                                                          (64 KiB/s for 30 s); "empty": only
//                                                          line breaks, the costliest text to show

#include "benchsupport.h"
#include "mesh/mesh.h"
#include "testaccess.h"
#include "testcopy.h"
#include "testsupport.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

using namespace tarnivel;

namespace {

enum class Mode { Burst, Ungreeted, Steady };

struct Plan
{
    Mode mode = Mode::Burst;
    qsizetype nameBytes = 1 << 20; // 0: no greeting
    qsizetype bytes = 10 << 20;    // burst, or bytes per second when steady
    int seconds = 0;               // steady only
    bool emptyLines = false;       // steady only
};

Plan planFrom(const QStringList &args)
{
    Plan plan;
    const QString mode = args.value(1, QStringLiteral("burst"));
    const auto number = [&args](int i, qsizetype fallback) {
        return args.size() > i ? args.at(i).toLongLong() : fallback;
    };
    if (mode == QStringLiteral("ungreeted")) {
        plan.mode = Mode::Ungreeted;
        plan.nameBytes = 0;
        plan.bytes = number(2, 40 << 20);
    } else if (mode == QStringLiteral("steady")) {
        plan.mode = Mode::Steady;
        plan.nameBytes = 8;
        plan.bytes = number(2, 64 << 10);
        plan.seconds = int(number(3, 30));
        plan.emptyLines = args.value(4) == QStringLiteral("empty");
    } else {
        plan.nameBytes = number(2, 1 << 20);
        plan.bytes = number(3, 10 << 20);
    }
    return plan;
}

QByteArray linesOf(qsizetype bytes, bool empty = false)
{
    const QByteArray line = empty
        ? QByteArray("\r\n")
        : QByteArray("evil> The quick brown fox jumps over the lazy dog, again and again.\r\n");
    QByteArray text;
    text.reserve(bytes + line.size());
    while (text.size() < bytes)
        text += line;
    return text;
}

// Writes with a plain blocking socket from its own thread, so the copy's event loop is the
// only thing the main thread runs. False once the copy has hung up.
bool writeAll(int fd, const char *bytes, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::send(fd, bytes + done, size_t(size - done), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

class HostilePeer : public QThread
{
public:
    HostilePeer(QHostAddress from, QHostAddress to, Plan plan, QElapsedTimer &clock)
        : m_from(from)
        , m_to(to)
        , m_plan(plan)
        , m_clock(clock)
    {}
    std::atomic<bool> connected{false};
    std::atomic<bool> hungUpOn{false};
    std::atomic<qint64> sentBytes{0};
    std::atomic<qint64> endNs{0};

protected:
    void run() override
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(m_from.toIPv4Address());
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(3220);
        remote.sin_addr.s_addr = htonl(m_to.toIPv4Address());
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
            || ::connect(m_fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
            endNs = m_clock.nsecsElapsed();
            return;
        }
        connected = true;
        if (m_plan.nameBytes > 0) {
            const QByteArray hello = '\x02' + QByteArray(m_plan.nameBytes, 'N');
            if (!writeAll(m_fd, hello.constData(), hello.size()))
                return finish(false);
            QThread::msleep(200); // the greeting arrives as a message of its own
        }
        if (m_plan.mode != Mode::Steady) {
            const QByteArray text = linesOf(m_plan.bytes);
            return finish(send(text.constData(), text.size()));
        }
        // A tenth of the rate every 100 ms, on schedule whatever the writes cost.
        const QByteArray tick = linesOf(m_plan.bytes / 10, m_plan.emptyLines);
        const qint64 startNs = m_clock.nsecsElapsed();
        for (int i = 0; i < m_plan.seconds * 10; ++i) {
            const qint64 dueNs = startNs + qint64(i) * 100'000'000;
            const qint64 waitNs = dueNs - m_clock.nsecsElapsed();
            if (waitNs > 0)
                QThread::usleep(quint64(waitNs / 1000));
            if (!send(tick.constData(), tick.size()))
                return finish(false);
        }
        finish(true);
    }

private:
    bool send(const char *bytes, qsizetype size)
    {
        // In pieces, so the count says how far it got before a hang-up.
        constexpr qsizetype Piece = 64 * 1024;
        for (qsizetype at = 0; at < size; at += Piece) {
            const qsizetype n = std::min(Piece, size - at);
            if (!writeAll(m_fd, bytes + at, n))
                return false;
            sentBytes += n;
        }
        return true;
    }
    void finish(bool wroteAll)
    {
        hungUpOn = !wroteAll;
        endNs = m_clock.nsecsElapsed();
        // Stay connected, if the copy lets us: a peer that has said its piece and lingers.
        if (wroteAll)
            QThread::msleep(120000);
        ::close(m_fd);
    }

    QHostAddress m_from;
    QHostAddress m_to;
    Plan m_plan;
    QElapsedTimer &m_clock;
    int m_fd = -1;
};

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const Plan plan = planFrom(QApplication::arguments());

    test::WindowCopy victim(1, QStringLiteral("被害者"));
    test::TestCopy honest(2, QStringLiteral("正直"));
    victim.window().show();
    honest.joinThrough(victim.address());
    if (!bench::runUntil([&] { return honest.namedMemberCount() == 1 && victim.namedMemberCount() == 1; }, 10000)) {
        std::printf("the honest member did not join\n");
        return 2;
    }
    victim.window().togglePeerColumn(); // the member list shows the hostile name too

    QElapsedTimer clock;
    clock.start();
    // Typed lines by number: when the key was pressed (on schedule, however late the window
    // got to it) and when the honest member had the line.
    std::map<int, qint64> typedNs;
    std::map<int, qint64> arrivedNs;
    QObject::connect(&test::TestAccess::mesh(honest.session()), &Mesh::lineArrived, &app, [&](const QString &text) {
        const qsizetype at = text.indexOf(QStringLiteral("probe "));
        if (at >= 0)
            arrivedNs.emplace(text.mid(at + 6).trimmed().toInt(), clock.nsecsElapsed());
    });

    HostilePeer peer(test::loopback(3), test::loopback(1), plan, clock);
    const double cpuAtStart = cpuSeconds();
    peer.start();
    constexpr qint64 TypeEveryNs = 500'000'000;
    int next = 0;
    int afterEnd = -1; // the first line typed once the peer had done
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        while (afterEnd < 0 && qint64(next) * TypeEveryNs <= clock.nsecsElapsed()) {
            typedNs[next] = qint64(next) * TypeEveryNs;
            if (peer.endNs > 0 && typedNs[next] >= peer.endNs)
                afterEnd = next;
            victim.say(QStringLiteral("probe %1").arg(next));
            ++next;
        }
    });
    typist.start(5);
    const bool done = bench::runUntil([&] { return afterEnd >= 0 && arrivedNs.count(afterEnd); }, 600000);
    typist.stop();
    const double cpuUsed = cpuSeconds() - cpuAtStart;
    const double wallUsed = double(clock.nsecsElapsed()) / 1e9;
    const double peakMiB = bench::peakMemoryKiB() / 1024.0;

    std::vector<double> during;
    for (const auto &[n, at] : typedNs) {
        if (n == afterEnd)
            continue;
        const auto arrived = arrivedNs.find(n);
        during.push_back(double((arrived != arrivedNs.end() ? arrived->second : clock.nsecsElapsed()) - at) / 1e9);
    }
    const double afterS = done ? double(arrivedNs[afterEnd] - typedNs[afterEnd]) / 1e9 : -1;
    const bool quick = done && afterS <= 1.0;
    const bool small = peakMiB < 300.0;

    switch (plan.mode) {
    case Mode::Burst:
        std::printf("burst: hello name %lld bytes, then %lld bytes at once\n", qlonglong(plan.nameBytes),
                    qlonglong(plan.bytes));
        break;
    case Mode::Ungreeted:
        std::printf("ungreeted: %lld bytes of lines, no greeting\n", qlonglong(plan.bytes));
        break;
    case Mode::Steady:
        std::printf("steady: greeted, %lld bytes/s of %s for %d s\n", qlonglong(plan.bytes),
                    plan.emptyLines ? "empty lines" : "chat lines", plan.seconds);
        break;
    }
    std::printf("the peer wrote %lld bytes and %s after %.2f s\n", qlonglong(peer.sentBytes.load()),
                peer.hungUpOn ? "was hung up on" : "was done", double(peer.endNs) / 1e9);
    std::printf("typed lines while it sent: %zu, delay until the honest member had them: median %.2f s, worst %.2f s\n",
                during.size(), median(during), during.empty() ? 0.0 : *std::max_element(during.begin(), during.end()));
    if (done)
        std::printf("line typed after it had done: reached the honest member after %.2f s  %s (target <= 1 s)\n",
                    afterS, quick ? "PASS" : "MISS");
    else
        std::printf("line typed after it had done: did not arrive within 600 s  MISS\n");
    std::printf("CPU: %.1f s in %.1f s (%.0f%% of a core)\n", cpuUsed, wallUsed, 100 * cpuUsed / wallUsed);
    std::printf("still connected to the honest member: %s; victim log %lld characters\n",
                victim.namedMemberCount() >= 1 ? "yes" : "no",
                qlonglong(victim.session().logDocument().characterCount()));
    std::printf("peak memory (VmHWM): %.0f MiB  %s (target < 300 MB)\n", peakMiB, small ? "PASS" : "MISS");
    peer.terminate(); // it may still be lingering
    peer.wait();
    return quick && small ? 0 : 1;
}
