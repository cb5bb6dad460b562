#include "ui/entrymessage.h"

#include <QMessageBox>

namespace tarnivel {

void showEntryMessage(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("たるにべ"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool confirmEntryDeletion(QWidget *parent, const QString &entryName)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("削除の確認"), entryName + QStringLiteral("を削除します"),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText); // the name is a file name, whatever it holds
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

} // namespace tarnivel
