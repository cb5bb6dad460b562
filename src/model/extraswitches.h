#pragma once
// Switches beyond the classic settings live in their own file ("tarnivel.ini") beside the
// settings file, so that file keeps its 17 items and older copies read it as before. Each
// switch is one key of its own: a file that lacks it (older, or never toggled) gives its
// default, and writing one switch leaves the others as they are. A new switch is one more
// constant below.

#include <QString>

namespace tarnivel {

inline constexpr const char *ExtraSettingsFileName = "tarnivel.ini";

struct ExtraSwitch
{
    const char *key; // "group/name" in the file
    bool defaultOn;
};

namespace extraswitch {
inline constexpr ExtraSwitch AttentionAlert{"attention/alert", true};    // taskbar flash / urgency hint
inline constexpr ExtraSwitch AttentionTray{"attention/tray", true};      // tray icon with the unread count
inline constexpr ExtraSwitch AttentionNotify{"attention/notify", false}; // desktop notification
inline constexpr ExtraSwitch LanAnnounce{"lan/announce", true};          // found by copies on the same network
inline constexpr ExtraSwitch PortMapping{"outside/portmapping", true};   // the home router forwards our ports
inline constexpr ExtraSwitch ReachCheck{"outside/reachcheck", true}; // directory servers say whether we can be reached
} // namespace extraswitch

bool readExtraSwitch(const QString &path, const ExtraSwitch &which);
// Written at once; false when the file could not be written.
[[nodiscard]] bool writeExtraSwitch(const QString &path, const ExtraSwitch &which, bool on);

} // namespace tarnivel
