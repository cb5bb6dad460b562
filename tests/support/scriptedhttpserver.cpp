#include "scriptedhttpserver.h"

#include <QTcpSocket>
#include <QTimer>

namespace tarnivel::test {

ScriptedHttpServer::Answer ScriptedHttpServer::reply(const QByteArray &body, int status, int delayMs)
{
    const QByteArray head = "HTTP/1.1 " + QByteArray::number(status)
        + " X\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n";
    return {head + body, delayMs, false};
}

ScriptedHttpServer::ScriptedHttpServer(const QHostAddress &address)
{
    m_server.listen(address, 0);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        }
    });
}

QString ScriptedHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://%1:%2%3")
        .arg(m_server.serverAddress().toString())
        .arg(m_server.serverPort())
        .arg(path);
}

void ScriptedHttpServer::serve(QTcpSocket *socket)
{
    if (!socket->property("head").toByteArray().endsWith("\r\n\r\n")) {
        const QByteArray head = socket->property("head").toByteArray() + socket->readAll();
        socket->setProperty("head", head);
        if (!head.endsWith("\r\n\r\n"))
            return;
        requestLines << head.left(head.indexOf("\r\n"));
        callers << socket->peerAddress().toString();
        const Answer answer = script.isEmpty() ? otherwise : script.takeFirst();
        if (answer.silent)
            return;
        QTimer::singleShot(answer.delayMs, socket, [socket, bytes = answer.bytes] {
            socket->write(bytes);
            socket->disconnectFromHost();
        });
    }
}

} // namespace tarnivel::test
