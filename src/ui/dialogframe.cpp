#include "ui/dialogframe.h"

#include <QDialog>
#include <QPushButton>

namespace tarnivel {

void useDialogFrame(QDialog &dialog)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

QDialogButtonBox *dialogButtons(QDialog &dialog,
                                std::initializer_list<std::pair<QPushButton *, QDialogButtonBox::ButtonRole>> buttons,
                                Qt::Orientation orientation)
{
    auto *box = new QDialogButtonBox(orientation, &dialog);
    box->setObjectName(QStringLiteral("buttonBox"));
    // 0 is QDialogButtonBox::WinLayout.
    box->setStyleSheet(QStringLiteral("QDialogButtonBox { button-layout: 0; }"));
    for (const auto &[button, role] : buttons)
        box->addButton(button, role);
    return box;
}

} // namespace tarnivel
