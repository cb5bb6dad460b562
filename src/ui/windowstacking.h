#pragma once
// Moving windows into and out of the always-on-top layer, and the rule every modal dialog of
// the main window follows so that it never opens hidden behind an always-on-top main window.

#include <functional>

class QDialog;
class QWidget;

namespace tarnivel {

// onTop keeps `form` above all normal windows; otherwise it returns to the normal stacking
// order. Either way the window keeps its position and size and is shown. A null form does
// nothing at all.
void setFormTop(QWidget *form, bool onTop);

// Takes the main window out of the always-on-top layer, runs `dialog` modally, then re-applies
// the choice as it stands when the dialog has closed. Returns the dialog's exec() result.
int execModalOverMain(QDialog &dialog, QWidget *mainWindow,
                      const std::function<bool()> &alwaysOnTopChecked);

// How the pieces of the window run their dialogs (MainWindow::execModal): modal over the
// main window by the rule above. Returns the dialog's exec() result.
using ModalRunner = std::function<int(QDialog &)>;

} // namespace tarnivel
