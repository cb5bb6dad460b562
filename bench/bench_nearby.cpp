// How long a copy takes from its start to being listed by a copy on another machine, and
// from quitting to leaving that list. Two network namespaces joined by a veth pair, each
// with a D-Bus bus and an avahi-daemon of its own (running before the clock starts), and a
// whole copy (nearbycopy) started in each at the same moment. Needs root, `ip`,
// `dbus-daemon` and `avahi-daemon`.
//
// Usage: bench_nearby [ROUNDS]   (5 by default)

#include "avahiinnamespace.h"
#include "benchsupport.h"
#include "nearbycopyprocess.h"
#include "netnamespaces.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace tarnivel;
using namespace tarnivel::test;

namespace {

constexpr int GiveUpMs = 60000;

struct Round
{
    double found = -1; // start to listed by the other (the later of the two)
    double left = -1;  // quit to gone from the other's list
};

Round measure()
{
    Round round;
    TwoNamespaces net;
    if (!net.setupError().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(net.setupError()));
        return round;
    }
    AvahiInNamespace nearAvahi(net.nearName(), TwoNamespaces::linkName(), QStringLiteral("tarnivel-near"));
    AvahiInNamespace farAvahi(net.farName(), TwoNamespaces::linkName(), QStringLiteral("tarnivel-far"));
    for (const AvahiInNamespace *avahi : {&nearAvahi, &farAvahi}) {
        if (!avahi->setupError().isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(avahi->setupError()));
            return round;
        }
    }
    QElapsedTimer clock;
    clock.start();
    NearbyCopyProcess nearCopy(nearAvahi, QLatin1String(TwoNamespaces::NearAddress), QStringLiteral("near"));
    NearbyCopyProcess farCopy(farAvahi, QLatin1String(TwoNamespaces::FarAddress), QStringLiteral("far"));
    if (!bench::runUntil([&] { return nearCopy.rows().size() == 1 && farCopy.rows().size() == 1; }, GiveUpMs))
        return round;
    round.found = double(clock.nsecsElapsed()) / 1e6;
    clock.restart();
    nearCopy.send(QStringLiteral("quit"));
    if (bench::runUntil([&] { return farCopy.rows().isEmpty(); }, GiveUpMs))
        round.left = double(clock.nsecsElapsed()) / 1e6;
    return round;
}

void summarise(const char *what, std::vector<double> values)
{
    values.erase(std::remove(values.begin(), values.end(), -1.0), values.end());
    if (values.empty()) {
        std::printf("%-34s no measurement\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%-34s median %7.0f ms   min %7.0f   max %7.0f   (%zu runs)\n", what, values[values.size() / 2],
                values.front(), values.back(), values.size());
}

} // namespace

int main(int argc, char *argv[])
{
    bench::useOffscreenUnlessSet();
    QApplication app(argc, argv);
    for (const std::optional<QString> &reason :
         {TwoNamespaces::unavailableBecause(), AvahiInNamespace::unavailableBecause()}) {
        if (reason) {
            std::fprintf(stderr, "bench_nearby: %s\n", qPrintable(*reason));
            return 1;
        }
    }
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 5;
    std::vector<double> found;
    std::vector<double> left;
    for (int i = 0; i < rounds; ++i) {
        const Round round = measure();
        std::printf("round %d: listed each other %.0f ms after start, gone %.0f ms after quitting\n", i + 1,
                    round.found, round.left);
        std::fflush(stdout);
        found.push_back(round.found);
        left.push_back(round.left);
    }
    summarise("start -> listed by the other", found);
    summarise("quit -> gone from the other's list", left);
    return 0;
}
