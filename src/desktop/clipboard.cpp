#include "desktop/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tarnivel {

namespace {

// Only a GUI application has a clipboard; a console run copies nothing.
QClipboard *systemClipboard()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}

} // namespace

void SystemClipboard::clear()
{
    if (QClipboard *clipboard = systemClipboard())
        clipboard->clear();
}

void SystemClipboard::setText(const QString &text)
{
    if (QClipboard *clipboard = systemClipboard())
        clipboard->setText(text);
}

} // namespace tarnivel
