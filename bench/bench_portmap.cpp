// How long finding the home router and forwarding the two ports take. By default in the
// home network the port-mapping test builds (namespaces, Debian's miniupnpd; needs root),
// once with UPnP IGD, once with NAT-PMP only, once without a gateway:
//   bench_portmap [ROUNDS]
// or in the network this runs in (a real home network), from the given address or the
// route's own:
//   bench_portmap --here [BIND-ADDRESS] [ROUNDS]
// Each round: discovery and mapping from scratch, a renewal to the gateway already found,
// and the removal. Prints one line per round and the medians.

#include "netnamespaces.h"
#include "gateway/gatewayclient.h"

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
    case GatewayOutcome::Kind::Mapped:
        return "mapped";
    case GatewayOutcome::Kind::NoGateway:
        return "no gateway";
    case GatewayOutcome::Kind::Refused:
        return "refused";
    }
    return "?";
}
} // namespace

void measure(const QHostAddress &bind, int rounds)
{
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
        std::printf("  round %d: %s via %s, external %s; discovery %lld ms, mapping %lld ms, renewal %lld ms (%s), "
                    "removal %lld ms\n",
                    round + 1, kindName(first.kind), first.protocol == GatewayProtocol::Upnp ? "UPnP" : "NAT-PMP",
                    qPrintable(first.externalAddress), first.discoveryMs, first.mappingMs, renewMs,
                    kindName(again.kind), removeMs);
        discovery.push_back(first.discoveryMs);
        mapping.push_back(first.mappingMs);
        renewal.push_back(renewMs);
        removal.push_back(removeMs);
    }
    std::printf("  median of %d: discovery %lld ms, mapping both ports %lld ms, renewal %lld ms, removal %lld ms\n",
                rounds, median(discovery), median(mapping), median(renewal), median(removal));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--here")) {
        const QHostAddress bind(args.value(1));
        measure(bind, args.value(bind.isNull() ? 1 : 2, QStringLiteral("5")).toInt());
        return 0;
    }
    const int rounds = args.value(0, QStringLiteral("5")).toInt();
    if (const std::optional<QString> reason = test::GatewayNetwork::unavailableBecause()) {
        std::fprintf(stderr, "bench_portmap: %s (or run it with --here)\n", qPrintable(*reason));
        return 1;
    }
    using Gateway = test::GatewayNetwork::Gateway;
    for (const auto &[gateway, name] :
         {std::pair{Gateway::Upnp, "UPnP IGD"}, std::pair{Gateway::NatPmpOnly, "NAT-PMP only"},
          std::pair{Gateway::None, "no gateway"}}) {
        test::GatewayNetwork net(gateway);
        if (!net.setupError().isEmpty()) {
            std::fprintf(stderr, "bench_portmap: %s\n", qPrintable(net.setupError()));
            return 1;
        }
        const test::EnterNamespace home(net.homeName());
        std::printf("%s (miniupnpd in a namespace, over veth):\n", name);
        measure(QHostAddress(QLatin1String(test::GatewayNetwork::HomeAddress)), rounds);
    }
    return 0;
}
