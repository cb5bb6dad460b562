#pragma once
// The program's dialogs have a title and a close box only. Without this, a window manager
// may offer minimise and maximise buttons on a dialog that cannot be resized.

class QDialog;

namespace tarnivel {

// Call from the dialog's constructor, before it is first shown.
void useDialogFrame(QDialog &dialog);

} // namespace tarnivel
