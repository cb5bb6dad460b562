// How long finding the home router and forwarding the two ports take, run inside a network
// of the caller's own (for example the one tst_portmapping builds, or a real home network):
//   ip netns exec HOME bench_portmap [BIND-ADDRESS] [ROUNDS]
// Each round: discovery and mapping from scratch, a renewal to the gateway already found,
// and the removal. Prints one line per round and the medians.

#include "platform/gatewayclient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tarnivel;

namespace {
qint64 median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}
const char *kindName(GatewayOutcome::Kind kind)
{
    switch (kind) {
    case GatewayOutcome::Kind::Mapped: return "mapped";
    case GatewayOutcome::Kind::NoGateway: return "no gateway";
    case GatewayOutcome::Kind::Refused: return "refused";
    }
    return "?";
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QHostAddress bind(args.value(1));
    const int rounds = args.value(2, QStringLiteral("5")).toInt();
    std::vector<qint64> discovery, mapping, renewal, removal;
    for (int round = 0; round < rounds; ++round) {
        GatewayClient client(bind, {3220, 4330});
        const GatewayOutcome first = client.map();
        QElapsedTimer clock;
        clock.start();
        const GatewayOutcome again = client.map();
        const qint64 renewMs = clock.elapsed();
        clock.restart();
        client.unmap();
        const qint64 removeMs = clock.elapsed();
        std::printf("round %d: %s via %s, external %s; discovery %lld ms, mapping %lld ms, renewal %lld ms (%s), "
                    "removal %lld ms\n",
                    round + 1, kindName(first.kind), first.protocol == GatewayProtocol::Upnp ? "UPnP" : "NAT-PMP",
                    qPrintable(first.externalAddress), first.discoveryMs, first.mappingMs, renewMs, kindName(again.kind),
                    removeMs);
        discovery.push_back(first.discoveryMs);
        mapping.push_back(first.mappingMs);
        renewal.push_back(renewMs);
        removal.push_back(removeMs);
    }
    std::printf("median of %d: discovery %lld ms, mapping both ports %lld ms, renewal %lld ms, removal %lld ms\n", rounds,
                median(discovery), median(mapping), median(renewal), median(removal));
    return 0;
}
