#pragma once
// What the About box says: its version caption and the thirteen messages of the hidden
// button, picked by one draw from 0 to 199.

#include <QString>

namespace tarnivel {

inline constexpr int MessageDraws = 200;
// The one draw that gives the two-line rare message, which comes with the connection sound.
inline constexpr int RareMessageDraw = 199;

// "たるにべ    Ver " + major + "." + minor + revision, in plain decimal: 2, 8, 3 give "Ver 2.83".
QString versionCaption(int major, int minor, int revision);
// The caption of this build.
QString programVersionCaption();

// The message for draw n (0 to 199); the rare one holds a line break.
QString aboutMessage(int n);

} // namespace tarnivel
