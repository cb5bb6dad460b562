#pragma once
// The switches for arriving lines while the window is inactive. They live in their own file
// ("tarnivel.ini") beside the settings file, so the settings file keeps its 17 items and
// older copies read it as before.

#include <QString>

namespace tarnivel {

struct AttentionSwitches
{
    bool alert = true;   // taskbar flash / urgency hint
    bool tray = true;    // tray icon with the unread count
    bool notify = false; // desktop notification naming the sender
    friend bool operator==(const AttentionSwitches &, const AttentionSwitches &) = default;
};

inline constexpr const char *ExtraSettingsFileName = "tarnivel.ini";

// Missing file or keys give the defaults.
AttentionSwitches loadAttentionSwitches(const QString &path);
[[nodiscard]] bool saveAttentionSwitches(const QString &path, const AttentionSwitches &switches);

} // namespace tarnivel
