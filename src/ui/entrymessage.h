#pragma once
// The message boxes of the entry dialogs: an OK button and the caption "たるにべ", or, to
// confirm a deletion, OK and Cancel under "削除の確認". Both are modal and return at once.

#include <QString>
#include <functional>

class QWidget;

namespace tarnivel {

void showEntryMessage(QWidget *parent, const QString &text);
// `answered` runs once the box has closed: true when the user chose OK.
void confirmEntryDeletion(QWidget *parent, const QString &entryName, std::function<void(bool ok)> answered);

} // namespace tarnivel
