#include "windowstacking.h"

#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QWidget>

namespace tarnivel {

void setFormTop(QWidget *form, bool wantOnTop)
{
    if (form == nullptr)
        return;

    if (form->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != wantOnTop) {
        // Changing the flag re-creates the native window and hides it, and Qt's own attempt to
        // keep the place mixes up frame and client positions: put the window back ourselves.
        // Maximized and full-screen windows keep their state through show() instead, and a
        // window the program never placed is left for the window manager to place.
        const bool sized = !(form->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
        const bool created = form->testAttribute(Qt::WA_WState_Created);
        const bool placed = created || form->testAttribute(Qt::WA_Moved);
        const bool resized = created || form->testAttribute(Qt::WA_Resized);
        const QRect geometry = form->geometry();
        form->setWindowFlag(Qt::WindowStaysOnTopHint, wantOnTop);
        if (sized && placed)
            form->setGeometry(geometry);
        else if (sized && resized)
            form->resize(geometry.size());
    }
    form->show();
}

int execModalOverMain(QDialog &dialog, QWidget *mainWindow,
                      const std::function<bool()> &alwaysOnTopChecked)
{
    const QPointer<QWidget> main(mainWindow);
    setFormTop(mainWindow, false);
    const int result = dialog.exec();
    // A main window closed while the dialog was open (a termination signal) stays closed.
    if (main && main->isVisible())
        setFormTop(main, alwaysOnTopChecked && alwaysOnTopChecked());
    return result;
}

} // namespace tarnivel
