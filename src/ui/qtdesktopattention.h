#pragma once
// The desktop's attention through Qt: QApplication::alert flashes the taskbar entry (or sets
// the urgency hint), a QSystemTrayIcon carries the unread count and shows notifications.

#include "session/desktopattention.h"

#include <QObject>
#include <QPointer>
#include <functional>

class QSystemTrayIcon;
class QWidget;

namespace tarnivel {

class QtDesktopAttention : public QObject, public DesktopAttention
{
    Q_OBJECT
public:
    // trayClicked runs when the user clicks the tray icon.
    QtDesktopAttention(QWidget &window, std::function<void()> trayClicked);
    ~QtDesktopAttention() override;

    void alert() override;
    bool trayAvailable() const override;
    void showUnread(int count, const QString &lastSender) override;
    void notify(const QString &title, const QString &message) override;

private:
    QSystemTrayIcon &tray();

    QWidget &m_window;
    std::function<void()> m_trayClicked;
    QSystemTrayIcon *m_tray = nullptr;
};

} // namespace tarnivel
