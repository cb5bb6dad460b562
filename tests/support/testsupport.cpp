#include "testsupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QWidget>
#include <QFileInfo>

namespace tarnivel::test {

// 127.B.C.n: B and C from the test program's name, so programs run side by side apart.
static QString programPrefix()
{
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const size_t h = qHash(name, 7u);
    return QStringLiteral("127.%1.%2.").arg(20 + int(h % 200u)).arg(1 + int((h / 200u) % 250u));
}

QHostAddress loopback(int n)
{
    return QHostAddress(programPrefix() + QString::number(n));
}

QString loopbackText(int n)
{
    return loopback(n).toString();
}

QAction *findAction(QWidget &window, const QString &name)
{
    return window.findChild<QAction *>(name);
}

} // namespace tarnivel::test
