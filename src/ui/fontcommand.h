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

// Opens a font chooser at `initial` and returns; `chosen` runs once it has closed, with the
// face and size chosen, or `initial` unchanged when the chooser was cancelled. Bold, italic
// and effects are not part of it.
using FontChosen = std::function<void(const LogFontChoice &font)>;
using FontChooser = std::function<void(const LogFontChoice &initial, QWidget *parent, FontChosen chosen)>;

// The platform chooser (QFontDialog, modal), and the font it starts at.
void chooseFontWithDialog(const LogFontChoice &initial, QWidget *parent, FontChosen chosen);
QFont chooserStartFont(const LogFontChoice &initial);

// Whole points, a half going to the even neighbour: 10.5 gives 10, 11.5 gives 12.
qint32 wholeFontPoints(double points);

// The whole command; the answer is taken once the chooser has closed, unless `parent` (the
// main window, which owns the session and the surfaces) is gone by then. An answer without a
// face or with no size ends it silently, leaving everything as it was.
void runFontCommand(Session &session, LogAppearance &appearance, const FontChooser &chooser, QWidget *parent);

} // namespace tarnivel
