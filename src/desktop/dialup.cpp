#include "desktop/dialup.h"

#include <QNetworkInterface>

namespace tarnivel {

namespace {

QString firstIpv4(const QList<QHostAddress> &addresses)
{
    for (const QHostAddress &address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toString();
    }
    return {};
}

} // namespace

QString dialupAddressFrom(const QList<InterfaceInfo> &interfaces)
{
    QString found;
    int links = 0;
    for (const InterfaceInfo &info : interfaces) {
        if (!info.up || !info.running || !info.pointToPoint || info.loopback)
            continue;
        const QString address = firstIpv4(info.addresses);
        if (address.isEmpty())
            continue;
        found = address;
        ++links;
    }
    // Two active links leave it open which one a partner could reach: no answer at all.
    return links == 1 ? found : QString();
}

QList<InterfaceInfo> currentInterfaces()
{
    QList<InterfaceInfo> result;
    const auto all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : all) {
        const auto flags = iface.flags();
        InterfaceInfo info;
        info.up = flags.testFlag(QNetworkInterface::IsUp);
        info.running = flags.testFlag(QNetworkInterface::IsRunning);
        info.pointToPoint = flags.testFlag(QNetworkInterface::IsPointToPoint);
        info.loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        const auto entries = iface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries)
            info.addresses.append(entry.ip());
        result.append(info);
    }
    return result;
}

QString dialupAddress()
{
    return dialupAddressFrom(currentInterfaces());
}

QString SystemDialupSource::address()
{
    return dialupAddress();
}

} // namespace tarnivel
