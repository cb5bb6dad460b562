#pragma once
// The local address of the active dial-up (point-to-point) link, if there is exactly one.

#include <QHostAddress>
#include <QList>
#include <QString>

namespace tarnivel {

// What the choice needs to know of one network interface.
struct InterfaceInfo
{
    bool up = false;
    bool running = false;
    bool pointToPoint = false;
    bool loopback = false;
    QList<QHostAddress> addresses;
};

// The IPv4 address text of the one interface that is up, running, point-to-point, not
// loopback and has an IPv4 address; empty when there is no such interface or several.
QString dialupAddressFrom(const QList<InterfaceInfo> &interfaces);

// The machine's interfaces as they are now.
QList<InterfaceInfo> currentInterfaces();

// dialupAddressFrom(currentInterfaces()).
QString dialupAddress();

// Where the own-address lookup gets the dial-up address from.
class DialupSource
{
public:
    virtual ~DialupSource() = default;
    virtual QString address() = 0;
};

class SystemDialupSource : public DialupSource
{
public:
    QString address() override;
};

} // namespace tarnivel
