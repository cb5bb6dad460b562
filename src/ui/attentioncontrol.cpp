#include "ui/attentioncontrol.h"

#include "mesh/mesh.h"
#include "ui/qtdesktopattention.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <cstdio>

namespace tarnivel {

AttentionControl::AttentionControl(QWidget &window, const Mesh &mesh, QString switchesPath, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_switchesPath(std::move(switchesPath))
    , m_desktop(std::make_unique<QtDesktopAttention>(window, [this] { trayClicked(); }))
    , m_alerts(*m_desktop)
{
    m_alerts.setSwitches(loadAttentionSwitches(m_switchesPath));
    m_alerts.setWindowActive(window.isActiveWindow());
    connect(&mesh, &Mesh::lineArrived, &m_alerts, &ArrivalAlerts::lineArrived);
    window.installEventFilter(this);
}

AttentionControl::~AttentionControl()
{
    m_window.removeEventFilter(this);
}

void AttentionControl::addSwitches(QMenu &menu)
{
    const AttentionSwitches &s = m_alerts.switches();
    const auto add = [&](const QString &name, const QString &caption, bool on) {
        auto *a = new QAction(caption, &menu);
        a->setObjectName(name);
        a->setCheckable(true);
        a->setChecked(on);
        connect(a, &QAction::toggled, this, &AttentionControl::switchChanged);
        menu.addAction(a);
        return a;
    };
    m_alertAction = add(QStringLiteral("mnAttentionAlert"), QStringLiteral("着信でタスクバーを点滅"), s.alert);
    m_trayAction = add(QStringLiteral("mnAttentionTray"), QStringLiteral("トレイに未読数を表示"), s.tray);
    m_notifyAction = add(QStringLiteral("mnAttentionNotify"), QStringLiteral("デスクトップ通知"), s.notify);
}

void AttentionControl::switchChanged()
{
    AttentionSwitches s;
    s.alert = m_alertAction->isChecked();
    s.tray = m_trayAction->isChecked();
    s.notify = m_notifyAction->isChecked();
    m_alerts.setSwitches(s);
    if (!saveAttentionSwitches(m_switchesPath, s))
        std::fprintf(stderr, "tarnivel: could not save %s\n", qPrintable(QDir::toNativeSeparators(m_switchesPath)));
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
