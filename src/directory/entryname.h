#pragma once
// The rule for an entry's name and its room name: not empty, and none of the characters that
// a file name or the entry file could not carry. Each character is compared exactly, so the
// full-width forms (for example U+FF0E, the full-width full stop) are allowed.

#include <QString>

namespace tarnivel {

// The longest server name and room name the editor takes.
inline constexpr int MaxEntryNameLength = 50;

[[nodiscard]] bool validEntryName(const QString &text);

} // namespace tarnivel
