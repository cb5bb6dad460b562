// How long a copy keeps a member whose network vanished, with the real dead-peer time-out
// (target: dropped within 60 s). A whole copy in one network namespace, a plain peer that
// dialled and greeted it from another; an nftables rule on the peer's side cuts the link
// right after the greeting (the worst moment: the peer has just answered). Measured from the
// cut to the cut line, once with the chat idle and once with a line being written to it.
// Needs root (network namespaces), `ip` and `nft`.
//
// Usage: bench_deadmember

#include "benchsupport.h"
#include "netnamespaces.h"
#include "rawpeer.h"
#include "testcopy.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

constexpr int LimitMs = 60000;
constexpr int GiveUpMs = 5 * 60000;

// Milliseconds from the cut to the cut line; -1 when the run could not be made or no cut came.
double measure(bool sending)
{
    TwoNamespaces net;
    if (!net.setupError().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(net.setupError()));
        return -1;
    }
    const EnterNamespace near(net.nearName());
    TestCopy copy(QLatin1String(TwoNamespaces::NearAddress), QStringLiteral("near"));
    std::unique_ptr<RawPeer> caller;
    {
        const EnterNamespace far(net.farName());
        auto *socket = new QTcpSocket;
        socket->connectToHost(QLatin1String(TwoNamespaces::NearAddress), ChatPort);
        caller = std::make_unique<RawPeer>(socket);
    }
    if (!caller->waitConnected())
        return -1;
    caller->send("\x02"
                 "far");
    if (!caller->waitReceived(1))
        return -1;

    QElapsedTimer clock;
    clock.start();
    if (const QString failure = net.cutFar(); !failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        return -1;
    }
    if (sending)
        copy.say(QString(256 * 1024, u'x'));
    const QString cutLine = QStringLiteral(" ●far との接続が断たれました。");
    if (!bench::runUntil([&] { return copy.logText().contains(cutLine); }, GiveUpMs))
        return -1;
    return double(clock.elapsed());
}

} // namespace

int main(int argc, char **argv)
{
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    if (const std::optional<QString> reason = TwoNamespaces::unavailableBecause()) {
        std::fprintf(stderr, "bench_deadmember: %s\n", qPrintable(*reason));
        return 2;
    }
    bool allMet = true;
    for (const bool sending : {false, true}) {
        const double ms = measure(sending);
        const bool met = ms >= 0 && ms <= LimitMs;
        allMet = allMet && met;
        std::printf("dead member dropped, %-7s: %8.0f ms after the cut (limit %d ms) %s\n",
                    sending ? "sending" : "idle", ms, LimitMs, met ? "PASS" : "MISS");
    }
    return allMet ? 0 : 1;
}
