#pragma once
// Colour values as the settings file keeps them: a value below 0x80000000 is an explicit
// colour 0x00BBGGRR (red in the low byte); 0x800000nn names the desktop's system colour nn,
// which follows the desktop theme and is looked up in the application palette.

#include <QColor>
#include <QPalette>
#include <QtGlobal>

#include <optional>

class QTextCharFormat;

namespace tarnivel {

// True for the 0x800000nn form (whether or not nn is a known system colour).
bool isSystemColorValue(qint32 value);

// The palette role nearest to system colour nn; nullopt for explicit colours and for
// system numbers the desktop does not define.
std::optional<QPalette::ColorRole> systemColorRole(qint32 value);

// The colour a value stands for: explicit colours directly, system colours through the
// palette. An invalid QColor for a system number that names no colour.
QColor resolveColorValue(qint32 value, const QPalette &palette);

// The explicit colour value 0x00BBGGRR of a colour (alpha is dropped; invalid gives 0, black).
qint32 colorValueFromQColor(const QColor &color);

// Gives text written with the format the colour of the value. The window-text colour (and
// an unknown system number) sets no foreground at all, so a text view paints such text with
// its palette's text colour at paint time and it follows later theme changes. The value
// itself rides along in the format, so a desktop colour reads back as that desktop colour.
void applyColorValue(QTextCharFormat &format, qint32 value, const QPalette &palette);

// The colour value text of this format is written in: the value applyColorValue gave it,
// else its explicit foreground; nullopt when the format names no colour at all.
std::optional<qint32> colorValueOf(const QTextCharFormat &format);

} // namespace tarnivel
