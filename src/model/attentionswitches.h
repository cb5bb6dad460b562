#pragma once
// The switches for arriving lines while the window is inactive, kept in "tarnivel.ini".

#include "model/extraswitches.h"

namespace tarnivel {

struct AttentionSwitches
{
    bool alert = extraswitch::AttentionAlert.defaultOn;   // taskbar flash / urgency hint
    bool tray = extraswitch::AttentionTray.defaultOn;     // tray icon with the unread count
    bool notify = extraswitch::AttentionNotify.defaultOn; // desktop notification naming the sender
    friend bool operator==(const AttentionSwitches &, const AttentionSwitches &) = default;
};

} // namespace tarnivel
