#include "ui/extraswitchitems.h"

#include "text/logging.h"

#include <QAction>
#include <QDir>
#include <QMenu>

namespace tarnivel {

ExtraSwitchItems::ExtraSwitchItems(QString path, QObject *parent) : QObject(parent), m_path(std::move(path)) {}

QAction *ExtraSwitchItems::add(QMenu &menu, const QString &objectName, const QString &caption, const ExtraSwitch &which,
                               std::function<void(bool)> apply)
{
    const bool on = readExtraSwitch(m_path, which);
    apply(on);
    auto *action = new QAction(caption, &menu);
    action->setObjectName(objectName);
    action->setCheckable(true);
    action->setChecked(on);
    connect(action, &QAction::toggled, this, [this, which, apply = std::move(apply)](bool now) {
        apply(now);
        if (!writeExtraSwitch(m_path, which, now))
            qCWarning(lcApp, "could not save %s", qPrintable(QDir::toNativeSeparators(m_path)));
    });
    menu.addAction(action);
    return action;
}

} // namespace tarnivel
