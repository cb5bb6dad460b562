#pragma once
// The frame and the button row every dialog of the program shares.

#include <QDialogButtonBox>

#include <initializer_list>
#include <utility>

class QDialog;
class QPushButton;

namespace tarnivel {

// The program's dialogs have a title and a close box only. Without this, a window manager
// may offer minimise and maximise buttons on a dialog that cannot be resized.
// Call from the dialog's constructor, before it is first shown.
void useDialogFrame(QDialog &dialog);

// The dialog's own buttons (captions, names, the default) in a QDialogButtonBox, with their
// roles, so that Enter, Esc and the box's accepted()/rejected() work as on any dialog. They
// stay in the Windows order (OK before Cancel) whatever order this desktop prefers.
QDialogButtonBox *dialogButtons(QDialog &dialog,
                                std::initializer_list<std::pair<QPushButton *, QDialogButtonBox::ButtonRole>> buttons,
                                Qt::Orientation orientation = Qt::Horizontal);

} // namespace tarnivel
