#pragma once
// The font command (mnFont "フォント"): the platform font chooser picks the face and size of
// the log text. The preference keeps whole points; the log's insertion point keeps the size
// exactly as chosen until the next line is appended.

#include "ui/logappearance.h"

#include <QFont>
#include <QtGlobal>
#include <functional>

class QWidget;

namespace tarnivel {

class Session;

// Opens a font chooser at `initial` and gives back the face and size chosen, or `initial`
// unchanged when the chooser was cancelled. Bold, italic and effects are not part of it.
using FontChooser = std::function<LogFontChoice(const LogFontChoice &initial, QWidget *parent)>;

// The platform chooser (QFontDialog), and the font it starts at.
LogFontChoice chooseFontWithDialog(const LogFontChoice &initial, QWidget *parent);
QFont chooserStartFont(const LogFontChoice &initial);

// Whole points, a half going to the even neighbour: 10.5 gives 10, 11.5 gives 12.
qint32 wholeFontPoints(double points);

// The whole command. A chooser answer without a face or with no size ends it silently,
// leaving everything as it was.
void runFontCommand(Session &session, LogAppearance &appearance, const FontChooser &chooser, QWidget *parent);

} // namespace tarnivel
