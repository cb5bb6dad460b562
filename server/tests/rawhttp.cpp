#include "rawhttp.h"

#include <QElapsedTimer>
#include <QTcpSocket>

QHostAddress callerAddress(int caller)
{
    return QHostAddress(QStringLiteral("127.0.0.%1").arg(caller));
}

QByteArray callerText(int caller)
{
    return callerAddress(caller).toString().toLatin1();
}

QByteArray getRequest(const QByteArray &target, const QByteArray &extraHeaders)
{
    return "GET " + target + " HTTP/1.1\r\nHost: directory\r\nConnection: close\r\n" + extraHeaders + "\r\n";
}

HttpAnswer exchange(quint16 port, int caller, const QByteArray &request, int timeoutMs)
{
    QTcpSocket socket;
    HttpAnswer answer;
    if (!socket.bind(callerAddress(caller)))
        return answer;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(timeoutMs))
        return answer;
    socket.write(request);
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < timeoutMs) {
        socket.waitForReadyRead(50);
        bytes += socket.readAll();
    }
    bytes += socket.readAll();
    const auto end = bytes.indexOf("\r\n\r\n");
    if (!bytes.startsWith("HTTP/1.") || end < 0)
        return answer;
    answer.head = bytes.left(end);
    answer.body = bytes.mid(end + 4);
    answer.status = bytes.mid(9, 3).toInt();
    return answer;
}
