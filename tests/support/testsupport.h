#pragma once
// Helpers shared by the test programs.

#include <QApplication>
#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <QTimer>
#include <functional>
#include <initializer_list>

class QAction;
class QTextDocument;
class QWidget;

namespace tarnivel::test {

// Loopback address 127.B.C.n, where B and C are derived from the test program's name, so
// that test programs running side by side never share an address (and so never a port).
QHostAddress loopback(int n);
QString loopbackText(int n);

// A window's action by its object name (the menu item's control name, e.g. "mnConnect").
QAction *findAction(QWidget &window, const QString &name);

// A window's control (or helper object) by its object name, the classic control name where
// there is one ("txtInput", "lbListChk"); the test program stops when there is none.
template <typename T>
T *control(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// Runs `act` on the modal widget of type T that is open: at once when one is up, otherwise as
// soon as one opens (a dialog the next command opens, at once or from a later event). Nothing
// waits for a dialog: tests wait for what `act` brings about with QTRY_*, and must not end
// before it has run (a later test's dialog would meet it).
template <typename T>
void whenModal(std::function<void(T *)> act)
{
    if (auto *widget = qobject_cast<T *>(QApplication::activeModalWidget())) {
        act(widget);
        return;
    }
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (auto *widget = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->deleteLater();
            act(widget);
        }
    });
    timer->start(10);
}

// Bytes written as numbers: bytes({0x82, 0xA0}).
QByteArray bytes(std::initializer_list<int> values);

// The document's text, one line per block, every underlined run between ⟦ ⟧ and, when
// asked, every bold italic (emphasised) run between « ».
enum class RenderMarks { Underline, UnderlineAndEmphasis };
QString render(const QTextDocument &document, RenderMarks marks = RenderMarks::Underline);

// Shows the window and makes it the active one; false when it did not become active.
[[nodiscard]] bool activate(QWidget &window);

} // namespace tarnivel::test
