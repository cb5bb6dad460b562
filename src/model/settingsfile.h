#pragma once
// The settings file "tarnivel.dat": 17 items, one per line, in code page 932.
//
// Read by the field rules of model/fieldfile.h, so that files written by older versions
// still load; a quoted item ends at the next double quote. Numbers are plain decimals with
// an optional sign and fraction, rounded half to even into the integer type; anything
// else, or a value out of range, fails.
//
// Items 1 to 11 must all read, otherwise the whole file is rejected (the caller then
// uses complete defaults). From item 12 on, a missing or bad item keeps its default.

#include "model/preferences.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarnivel {

inline constexpr char SettingsFileName[] = "tarnivel.dat";

// Files are read up to this size; 17 items of any sensible length fit many times over,
// and a huge or endless file then costs no more than this to look at.
inline constexpr qint64 MaxSettingsFileBytes = 256 * 1024;

struct SettingsRead
{
    Preferences preferences;
    // The position as applied to the window (single precision, may carry a fraction);
    // preferences.windowLeft/windowTop hold the same items as 32-bit integers.
    float left = 0;
    float top = 0;
};

std::optional<SettingsRead> parseSettings(const QString &text);

// The complete file: 17 lines, each ending CR LF. left/top are the window's live
// position; when they are not finite or do not fit a 32-bit integer the stored
// windowLeft/windowTop are written instead, so the file always reads back.
// A text item that the reader would otherwise split or trim (a comma, a blank at
// either end, a leading double quote) is written inside double quotes; such text
// cannot hold a double quote, so there (and only there) '"' becomes '\''.
// Line breaks inside a text item become blanks.
QByteArray serializeSettings(const Preferences &preferences, float left, float top);

// std::nullopt when the file is missing, unreadable or rejected.
[[nodiscard]] std::optional<SettingsRead> loadSettingsFile(const QString &path);

// Writes nothing and returns false when myName is empty. The file is replaced
// atomically: a failed save leaves the previous file as it was.
[[nodiscard]] bool saveSettingsFile(const QString &path, const Preferences &preferences, float left, float top);

} // namespace tarnivel
