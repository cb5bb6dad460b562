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

void showModal(QDialog *dialog, DialogClosed closed)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    if (closed)
        QObject::connect(dialog, &QDialog::finished, dialog, std::move(closed), Qt::SingleShotConnection);
    dialog->show();
}

ModalDialogs::ModalDialogs(QWidget &mainWindow, std::function<bool()> alwaysOnTopChecked, QObject *parent)
    : QObject(parent)
    , m_mainWindow(mainWindow)
    , m_alwaysOnTopChecked(std::move(alwaysOnTopChecked))
{}

void ModalDialogs::show(QDialog *dialog, DialogClosed closed)
{
    if (m_open++ == 0)
        setFormTop(&m_mainWindow, false);
    const QPointer<ModalDialogs> self(this);
    showModal(dialog, [self, closed = std::move(closed)](int result) {
        // A main window closed while the dialog was open (a termination signal) stays closed.
        if (self && --self->m_open == 0 && self->m_mainWindow.isVisible())
            setFormTop(&self->m_mainWindow, self->m_alwaysOnTopChecked && self->m_alwaysOnTopChecked());
        if (closed)
            closed(result);
    });
}

} // namespace tarnivel
