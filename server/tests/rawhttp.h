#pragma once

#include <QByteArray>
#include <QHostAddress>

// One HTTP exchange with bytes chosen by the test, from a chosen loopback address.
struct HttpAnswer
{
    int status = 0; // 0: no answer came
    QByteArray head;
    QByteArray body;
};

// Sends the bytes from 127.0.0.<caller> and reads until the server closes.
HttpAnswer exchange(quint16 port, int caller, const QByteArray &request, int timeoutMs = 5000);

// "GET <target> HTTP/1.1" asking for the connection to close, plus any extra header lines.
QByteArray getRequest(const QByteArray &target, const QByteArray &extraHeaders = {});

QHostAddress callerAddress(int caller);
QByteArray callerText(int caller);
