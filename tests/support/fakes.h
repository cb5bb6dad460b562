#pragma once
// Stand-ins for the platform services that loopback cannot play: the dial-up link.

#include "platform/dialup.h"

#include <QStringList>

namespace tarnivel::test {

class FixedDialup : public DialupSource
{
public:
    QString address() override { return value; }
    QString value;
};

} // namespace tarnivel::test
