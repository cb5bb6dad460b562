#include "model/extraswitches.h"

#include <QSettings>

namespace tarnivel {

bool readExtraSwitch(const QString &path, const ExtraSwitch &which)
{
    const QSettings file(path, QSettings::IniFormat);
    return file.value(QLatin1String(which.key), which.defaultOn).toBool();
}

bool writeExtraSwitch(const QString &path, const ExtraSwitch &which, bool on)
{
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QLatin1String(which.key), on);
    file.sync();
    return file.status() == QSettings::NoError;
}

} // namespace tarnivel
