#pragma once
// Moving windows into and out of the always-on-top layer, and the rule every modal dialog of
// the main window follows so that it never opens hidden behind an always-on-top main window.

#include <functional>

class QDialog;
class QWidget;

namespace tarnivel {

// Modes understood by setFormTop; every other value is ignored.
inline constexpr int FormTopOff = 0;
inline constexpr int FormTopOn = 1;

// FormTopOn keeps `form` above all normal windows, FormTopOff returns it to the normal stacking
// order. Either way the window keeps its position and size and is shown. Any other mode (and a
// null form) does nothing at all.
void setFormTop(QWidget *form, int mode);

// Applies the user's always-on-top choice to the main window.
void applyTopmost(QWidget *mainWindow, bool alwaysOnTopChecked);

// Takes the main window out of the always-on-top layer, runs `dialog` modally, then re-applies
// the choice as it stands when the dialog has closed. Returns the dialog's exec() result.
int execModalOverMain(QDialog &dialog, QWidget *mainWindow,
                      const std::function<bool()> &alwaysOnTopChecked);

} // namespace tarnivel
