#pragma once
// Check items for the switches kept in "tarnivel.ini", at the end of 設定: each shows the
// state read from the file, hands it to whoever it switches, and is written back as soon as
// it is toggled (a file that cannot be written is said on standard error).

#include "model/extraswitches.h"

#include <QObject>
#include <functional>

class QAction;
class QMenu;

namespace tarnivel {

class ExtraSwitchItems : public QObject
{
    Q_OBJECT
public:
    explicit ExtraSwitchItems(QString path, QObject *parent = nullptr);

    // Appends the item to menu; apply gets the state read now and every later one.
    QAction *add(QMenu &menu, const QString &objectName, const QString &caption, const ExtraSwitch &which,
                 std::function<void(bool)> apply);

private:
    QString m_path;
};

} // namespace tarnivel
