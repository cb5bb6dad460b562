#pragma once
// The message boxes of the entry dialogs: an OK button and the caption "たるにべ", or, to
// confirm a deletion, OK and Cancel under "削除の確認".

#include <QString>

class QWidget;

namespace tarnivel {

void showEntryMessage(QWidget *parent, const QString &text);
// True when the user chose OK.
[[nodiscard]] bool confirmEntryDeletion(QWidget *parent, const QString &entryName);

} // namespace tarnivel
