#include "ui/dialogframe.h"

#include <QDialog>

namespace tarnivel {

void useDialogFrame(QDialog &dialog)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

} // namespace tarnivel
