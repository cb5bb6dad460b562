#pragma once
// Stand-ins for the platform services that loopback cannot play: the dial-up link and the
// network's DNS-SD.

#include "platform/dialup.h"
#include "platform/landiscovery.h"

#include <QStringList>
#include <optional>

namespace tarnivel::test {

class FixedDialup : public DialupSource
{
public:
    QString address() override { return value; }
    QString value;
};

// Notes what the copy announces and whether it browses; a test emits found, lost and
// availabilityChanged itself.
class FakeLanDiscovery : public LanDiscovery
{
public:
    void announce(const LanAnnouncement &announcement) override { announced = announcement; }
    void withdraw() override { announced.reset(); }
    void startBrowsing() override { browsing = true; }
    void stopBrowsing() override { browsing = false; }

    std::optional<LanAnnouncement> announced;
    bool browsing = false;
};

} // namespace tarnivel::test
