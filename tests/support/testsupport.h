#pragma once
// Helpers shared by the test programs.

#include <QHostAddress>
#include <QString>

class QAction;
class QWidget;

namespace tarnivel::test {

// Loopback address 127.B.C.n where B and C are is derived from the test program's name, so test
// programs running side by side never share an address (and so never share ports).
QHostAddress loopback(int n);
QString loopbackText(int n);

// A window's action by its object name (the classic menu item name, e.g. "mnConnect").
QAction *findAction(QWidget &window, const QString &name);

} // namespace tarnivel::test
