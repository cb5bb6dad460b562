#include "model/attentionswitches.h"

#include <QSettings>

namespace tarnivel {

AttentionSwitches loadAttentionSwitches(const QString &path)
{
    const QSettings file(path, QSettings::IniFormat);
    const AttentionSwitches defaults;
    AttentionSwitches s;
    s.alert = file.value(QStringLiteral("attention/alert"), defaults.alert).toBool();
    s.tray = file.value(QStringLiteral("attention/tray"), defaults.tray).toBool();
    s.notify = file.value(QStringLiteral("attention/notify"), defaults.notify).toBool();
    return s;
}

bool saveAttentionSwitches(const QString &path, const AttentionSwitches &switches)
{
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QStringLiteral("attention/alert"), switches.alert);
    file.setValue(QStringLiteral("attention/tray"), switches.tray);
    file.setValue(QStringLiteral("attention/notify"), switches.notify);
    file.sync();
    return file.status() == QSettings::NoError;
}

} // namespace tarnivel
