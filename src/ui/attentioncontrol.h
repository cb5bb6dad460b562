#pragma once
// The window's side of noticing arrivals: follows the window's activation, carries out a click
// on the tray icon (raise the window, clear the count), and offers the three switches as
// check items at the end of a menu, kept in "tarnivel.ini" beside the settings file.

#include "session/arrivalalerts.h"

#include <QObject>
#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace tarnivel {

class Mesh;
class QtDesktopAttention;

class AttentionControl : public QObject
{
    Q_OBJECT
public:
    AttentionControl(QWidget &window, const Mesh &mesh, QString switchesPath, QObject *parent = nullptr);
    ~AttentionControl() override;

    // The three check items, appended to menu.
    void addSwitches(QMenu &menu);

    ArrivalAlerts &alerts() { return m_alerts; }
    // The tray icon was clicked.
    void trayClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void switchChanged();

    QWidget &m_window;
    QString m_switchesPath;
    std::unique_ptr<QtDesktopAttention> m_desktop;
    ArrivalAlerts m_alerts;
    QAction *m_alertAction = nullptr;
    QAction *m_trayAction = nullptr;
    QAction *m_notifyAction = nullptr;
};

} // namespace tarnivel
