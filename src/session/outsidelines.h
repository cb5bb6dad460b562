#pragma once
// The log lines about being reachable from outside: what the router said to the port
// mapping, and what the directory server's reachability check found. Each is complete text
// with its CR LF, in the style of the mesh's status lines.

#include "model/showntext.h"
#include "gateway/gatewayclient.h"

#include <QString>

namespace tarnivel::outsideline {

inline const QString crlf = QStringLiteral("\r\n");

inline QString protocolName(GatewayProtocol protocol)
{
    return protocol == GatewayProtocol::Upnp ? QStringLiteral("UPnP") : QStringLiteral("NAT-PMP");
}

// One line for what the gateway answered; the router's own words are shown as sent, on that line.
inline QString forOutcome(const GatewayOutcome &outcome)
{
    switch (outcome.kind) {
    case GatewayOutcome::Kind::Mapped:
        return QStringLiteral(" ●ルータのポート3220と4330を自動で開きました。外部のIP: %1 (%2)")
                   .arg(outcome.externalAddress.isEmpty() ? QStringLiteral("不明") : shownText(outcome.externalAddress),
                        protocolName(outcome.protocol))
            + crlf;
    case GatewayOutcome::Kind::NoGateway:
        return QStringLiteral(" ●ルータが見つからないので、ポートを自動で開けませんでした。") + crlf;
    case GatewayOutcome::Kind::Refused:
        if (outcome.heldByAnother)
            return QStringLiteral(
                       " ●ルータがポート%1を開きませんでした。ほかのパソコンかたるにべがすでに使っています。(%2: %3)")
                       .arg(outcome.port)
                       .arg(protocolName(outcome.protocol), shownText(outcome.reason))
                + crlf;
        return QStringLiteral(" ●ルータがポート%1を開きませんでした。(%2: %3)")
                   .arg(outcome.port)
                   .arg(protocolName(outcome.protocol), shownText(outcome.reason))
            + crlf;
    }
    return QString();
}

// The directory server could connect to us ("reachable").
inline QString reachable()
{
    return QStringLiteral(" ●外部から接続できます。") + crlf;
}
// It could not ("not reachable: open TCP 3220 and 4330").
inline QString notReachable()
{
    return QStringLiteral(" ●外部から接続できません: TCP 3220 と 4330 を開いてください") + crlf;
}
// Said once while waiting in a room this copy cannot be reached in.
inline QString waitUnreachable()
{
    return QStringLiteral(" ●外部から接続できないので、このまま待っても誰も参加できません。") + crlf;
}

} // namespace tarnivel::outsideline
