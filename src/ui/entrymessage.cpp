#include "ui/entrymessage.h"

#include "ui/windowstacking.h"

#include <QMessageBox>

namespace tarnivel {

void showEntryMessage(QWidget *parent, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("たるにべ"), text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    showModal(box);
}

void confirmEntryDeletion(QWidget *parent, const QString &entryName, std::function<void(bool ok)> answered)
{
    auto *box =
        new QMessageBox(QMessageBox::NoIcon, QStringLiteral("削除の確認"), entryName + QStringLiteral("を削除します"),
                        QMessageBox::Ok | QMessageBox::Cancel, parent);
    box->setTextFormat(Qt::PlainText); // the name is a file name, whatever it holds
    box->setDefaultButton(QMessageBox::Ok);
    showModal(box, [box, answered = std::move(answered)](int) {
        answered(box->standardButton(box->clickedButton()) == QMessageBox::Ok);
    });
}

} // namespace tarnivel
