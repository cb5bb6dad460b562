#pragma once
// Moving windows into and out of the always-on-top layer, and showing dialogs modally without
// waiting for them: a dialog reports through `finished`, and the work goes on from there.

#include <QObject>
#include <functional>

class QDialog;
class QWidget;

namespace tarnivel {

// onTop keeps `form` above all normal windows; otherwise it returns to the normal stacking
// order. Either way the window keeps its position and size and is shown. A null form does
// nothing at all.
void setFormTop(QWidget *form, bool onTop);

// What runs once a dialog has closed, with its result.
using DialogClosed = std::function<void(int result)>;

// Shows `dialog` modal to the whole program and returns at once; `closed` runs once it has
// closed (not at all when it is destroyed unclosed). The dialog deletes itself afterwards.
void showModal(QDialog *dialog, DialogClosed closed = {});

// The dialogs of the main window: never hidden behind an always-on-top main window. While
// any is open the main window is out of the always-on-top layer; when the last one closes
// the user's choice, as it stands then, is applied again, before that dialog's `closed` runs.
class ModalDialogs : public QObject
{
    Q_OBJECT
public:
    ModalDialogs(QWidget &mainWindow, std::function<bool()> alwaysOnTopChecked, QObject *parent = nullptr);

    void show(QDialog *dialog, DialogClosed closed = {});
    int openCount() const { return m_open; }

private:
    QWidget &m_mainWindow;
    std::function<bool()> m_alwaysOnTopChecked;
    int m_open = 0;
};

// How the pieces of the window show their dialogs (ModalDialogs::show of the main window).
using ModalRunner = std::function<void(QDialog *dialog, DialogClosed closed)>;

} // namespace tarnivel
