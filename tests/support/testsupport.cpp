#include "testsupport.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace tarnivel::test {

static int programByte()
{
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return 20 + int(qHash(name, 7u) % 200u);
}

QHostAddress loopback(int n)
{
    return QHostAddress(QStringLiteral("127.%1.0.%2").arg(programByte()).arg(n));
}

QString loopbackText(int n)
{
    return loopback(n).toString();
}

} // namespace tarnivel::test
