#pragma once
// The window's side of noticing arrivals: follows the window's activation, carries out a click
// on the tray icon (raise the window, clear the count), and offers the three switches as
// check items at the end of a menu, kept in "tarnivel.ini" beside the settings file.

#include "session/arrivalalerts.h"

#include <QObject>
#include <memory>

class QMenu;
class QWidget;

namespace tarnivel {

class ExtraSwitchItems;
class Mesh;
class QtDesktopAttention;

class AttentionControl : public QObject
{
    Q_OBJECT
public:
    AttentionControl(QWidget &window, const Mesh &mesh, QObject *parent = nullptr);
    ~AttentionControl() override;

    // The three check items, appended to menu.
    void addSwitches(QMenu &menu, ExtraSwitchItems &items);

    ArrivalAlerts &alerts() { return m_alerts; }
    // The tray icon was clicked.
    void trayClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget &m_window;
    std::unique_ptr<QtDesktopAttention> m_desktop;
    ArrivalAlerts m_alerts;
};

} // namespace tarnivel
