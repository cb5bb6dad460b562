// A copy whose address server is slow answers a newcomer's join request. Meanwhile its user
// types a line: how long until a member has it tells how long the window was frozen, and the
// newcomer's wait for its peer list is noted beside it.
//
// Usage: bench_joinfreeze [server delay ms]   (default: the server never answers)
//
// The member and the newcomer are plain blocking sockets in threads of their own, so the
// copy's event loop is the only thing the main thread runs.

#include "benchsupport.h"
#include "testcopy.h"
#include "testsupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>

using namespace tarnivel;

namespace {

constexpr qint64 TypingDelayNs = 100'000'000; // the user types 100 ms after the request

int dialFrom(const QHostAddress &from, const QHostAddress &to, quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(from.toIPv4Address());
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    remote.sin_addr.s_addr = htonl(to.toIPv4Address());
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0
        || ::connect(fd, reinterpret_cast<sockaddr *>(&remote), sizeof remote) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until `until` holds for what has come, or the peer hangs up.
QByteArray readUntil(int fd, const std::function<bool(const QByteArray &)> &until)
{
    QByteArray got;
    char buffer[4096];
    while (!until(got)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

class Thread : public QThread
{
public:
    explicit Thread(std::function<void()> body) : m_body(std::move(body)) {}

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int serverDelayMs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : -1;
    QElapsedTimer clock;
    clock.start();

    // The address server: takes the request, then answers late or never.
    const QHostAddress serverAddress = test::loopback(9);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(serverAddress.toIPv4Address());
    socklen_t boundSize = sizeof bound;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&bound), sizeof bound) != 0 || ::listen(listener, 8) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&bound), &boundSize) != 0) {
        std::printf("cannot start the address server\n");
        return 2;
    }
    Thread addressServer([&] {
        for (;;) {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0)
                return;
            (void)readUntil(fd, [](const QByteArray &got) { return got.contains("\r\n\r\n"); });
            if (serverDelayMs < 0)
                continue; // never answers, never hangs up
            QThread::msleep(serverDelayMs);
            const QByteArray body = serverAddress.toString().toLatin1();
            const QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size())
                + "\r\nConnection: close\r\n\r\n" + body;
            (void)::send(fd, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
            ::close(fd);
        }
    });
    addressServer.start();

    test::TestCopy copy(1, QStringLiteral("主"));
    copy.session().ownAddress().setAddressServer(
        QStringLiteral("http://%1:%2/ip").arg(serverAddress.toString()).arg(ntohs(bound.sin_port)));

    // The member greets, then waits for the probe line.
    const QByteArray probe = "probe-line";
    std::atomic<qint64> probeArrivedNs{-1};
    std::atomic<bool> memberGreeted{false};
    Thread member([&] {
        const int fd = dialFrom(test::loopback(2), test::loopback(1), 3220);
        if (fd < 0)
            return;
        (void)::send(fd, "\x02member", 7, MSG_NOSIGNAL);
        (void)readUntil(fd, [](const QByteArray &got) { return got.startsWith('\x03'); });
        memberGreeted = true;
        if (readUntil(fd, [&](const QByteArray &got) { return got.contains(probe); }).contains(probe))
            probeArrivedNs = clock.nsecsElapsed();
        ::close(fd);
    });
    member.start();
    QElapsedTimer wait;
    wait.start();
    while (!memberGreeted && wait.elapsed() < 10000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (!memberGreeted) {
        std::printf("the member was not greeted\n");
        return 2;
    }

    // The newcomer asks; 100 ms later the user's key press joins the event queue.
    std::atomic<qint64> requestNs{-1};
    std::atomic<qint64> answerNs{-1};
    std::atomic<int> answerBytes{0};
    Thread newcomer([&] {
        const int fd = dialFrom(test::loopback(3), test::loopback(1), 4330);
        if (fd < 0)
            return;
        requestNs = clock.nsecsElapsed();
        (void)::send(fd, "\x02", 1, MSG_NOSIGNAL);
        QThread::usleep(TypingDelayNs / 1000);
        QMetaObject::invokeMethod(
            &app, [&] { copy.say(QString::fromLatin1(probe)); }, Qt::QueuedConnection);
        const QByteArray reply = readUntil(fd, [](const QByteArray &) { return false; }); // until hung up
        answerNs = clock.nsecsElapsed();
        answerBytes = int(reply.size());
        ::close(fd);
    });
    newcomer.start();

    wait.restart();
    while ((probeArrivedNs < 0 || answerNs < 0) && wait.elapsed() < 60000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 20);
    if (probeArrivedNs < 0 || answerNs < 0) {
        std::printf("no probe line or no join answer within 60 s\n");
        return 2;
    }
    const double frozenS = double(probeArrivedNs - requestNs - TypingDelayNs) / 1e9;
    const double answerS = double(answerNs - requestNs) / 1e9;
    std::printf("address server %s\n",
                serverDelayMs < 0 ? "never answers"
                                  : qPrintable(QStringLiteral("answers after %1 ms").arg(serverDelayMs)));
    std::printf("line typed 0.10 s after the join request reached the member %.3f s after it was typed\n", frozenS);
    std::printf("the newcomer had its answer (%d bytes) %.3f s after asking\n", int(answerBytes), answerS);
    ::shutdown(listener, SHUT_RDWR); // wakes the server's accept, and it returns
    addressServer.wait();
    ::close(listener);
    member.wait();
    newcomer.wait();
    return 0;
}
