#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

class QTcpSocket;

// One HTTP exchange with bytes chosen by the test, from a chosen loopback address.
struct HttpAnswer
{
    int status = 0; // 0: no answer came
    QByteArray head;
    QByteArray body;
};

// Sends the bytes from 127.0.0.<caller> and reads until the server closes.
HttpAnswer exchange(quint16 port, int caller, const QByteArray &request, int timeoutMs = 5000);
// The same between any two addresses (IPv6 among them).
HttpAnswer exchangeBetween(const QHostAddress &from, const QHostAddress &to, quint16 port, const QByteArray &request,
                           int timeoutMs = 5000);

// "GET <target> HTTP/1.1" asking for the connection to close, plus any extra header lines.
QByteArray getRequest(const QByteArray &target, const QByteArray &extraHeaders = {});
// The same, leaving the connection open.
QByteArray keepAliveRequest(const QByteArray &target, const QByteArray &extraHeaders = {});

// Reads up to `count` answers from a connection (each by its Content-Length); fewer when the
// connection closes or the time runs out first.
QList<HttpAnswer> readAnswers(QTcpSocket &socket, int count, int timeoutMs = 5000);

QHostAddress callerAddress(int caller);
QByteArray callerText(int caller);
