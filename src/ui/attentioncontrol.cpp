#include "ui/attentioncontrol.h"

#include "mesh/mesh.h"
#include "ui/extraswitchitems.h"
#include "ui/qtdesktopattention.h"

#include <QEvent>
#include <QWidget>

namespace tarnivel {

AttentionControl::AttentionControl(QWidget &window, const Mesh &mesh, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_desktop(std::make_unique<QtDesktopAttention>(window, [this] { trayClicked(); }))
    , m_alerts(*m_desktop)
{
    setObjectName(QStringLiteral("attentionControl"));
    m_alerts.setWindowActive(window.isActiveWindow());
    connect(&mesh, &Mesh::lineArrived, &m_alerts, &ArrivalAlerts::lineArrived);
    window.installEventFilter(this);
}

AttentionControl::~AttentionControl()
{
    m_window.removeEventFilter(this);
}

void AttentionControl::addSwitches(QMenu &menu, ExtraSwitchItems &items)
{
    const auto set = [this](bool AttentionSwitches::*field) {
        return [this, field](bool on) {
            AttentionSwitches s = m_alerts.switches();
            s.*field = on;
            m_alerts.setSwitches(s);
        };
    };
    items.add(menu, QStringLiteral("mnAttentionAlert"), QStringLiteral("着信でタスクバーを点滅"),
              extraswitch::AttentionAlert, set(&AttentionSwitches::alert));
    items.add(menu, QStringLiteral("mnAttentionTray"), QStringLiteral("トレイに未読数を表示"),
              extraswitch::AttentionTray, set(&AttentionSwitches::tray));
    items.add(menu, QStringLiteral("mnAttentionNotify"), QStringLiteral("デスクトップ通知"),
              extraswitch::AttentionNotify, set(&AttentionSwitches::notify));
}

void AttentionControl::trayClicked()
{
    if (m_window.isMinimized())
        m_window.showNormal();
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
    m_alerts.clearUnread();
}

bool AttentionControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::ActivationChange)
        m_alerts.setWindowActive(m_window.isActiveWindow());
    return QObject::eventFilter(watched, event);
}

} // namespace tarnivel
