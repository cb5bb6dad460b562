// Own-address lookup: the dotted-address test, the dial-up link choice, the blocking HTTP
// client and the lookup order, against a real HTTP server on a loopback address.

#include "address/dottedaddress.h"
#include "address/ownaddress.h"
#include "model/preferences.h"
#include "platform/clipboard.h"
#include "platform/dialup.h"
#include "platform/http.h"
#include "fakes.h"
#include "testsupport.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QtTest>
#include <thread>

using namespace tarnivel;
using tarnivel::test::FixedDialup;
using tarnivel::test::ScriptedHttp;

Q_DECLARE_METATYPE(QList<tarnivel::InterfaceInfo>)

namespace {

QByteArray httpResponse(const QByteArray &status, const QByteArray &body, bool withLength)
{
    QByteArray response = "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\n";
    if (withLength)
        response += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return response + "\r\n" + body;
}

// A canned HTTP server in a thread of its own: the client under test blocks the test's thread.
class ThreadedHttpServer : public QThread
{
public:
    explicit ThreadedHttpServer(const QHostAddress &address) : m_address(address)
    {
        start();
        m_ready.acquire();
    }
    ~ThreadedHttpServer() override
    {
        quit();
        wait();
    }

    bool isListening() const { return m_port != 0; }
    QString url(const QString &pathAndQuery) const
    {
        return QStringLiteral("http://%1:%2%3").arg(m_address.toString()).arg(m_port).arg(pathAndQuery);
    }
    // An empty response means: take the request and never answer.
    void setResponse(const QByteArray &response)
    {
        QMutexLocker lock(&m_mutex);
        m_response = response;
    }
    int requestCount() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requestLines.size();
    }
    QByteArray lastRequestLine() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requestLines.isEmpty() ? QByteArray() : m_requestLines.last();
    }

protected:
    void run() override
    {
        QTcpServer server;
        if (server.listen(m_address, 0))
            m_port = server.serverPort();
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this, &server] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                socket->setParent(&server);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { serve(socket); });
            }
        });
        m_ready.release();
        exec();
    }

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray &received = m_received[socket];
        received += socket->readAll();
        if (!received.contains("\r\n\r\n"))
            return;
        QByteArray response;
        {
            QMutexLocker lock(&m_mutex);
            m_requestLines.append(received.left(received.indexOf("\r\n")));
            response = m_response;
        }
        received.clear();
        if (response.isEmpty())
            return;
        socket->write(response);
        socket->disconnectFromHost();
    }

    const QHostAddress m_address;
    quint16 m_port = 0;
    QSemaphore m_ready;
    mutable QMutex m_mutex;
    QByteArray m_response;
    QList<QByteArray> m_requestLines;
    QHash<QTcpSocket *, QByteArray> m_received; // server thread only
};

class RecordingClipboard : public Clipboard
{
public:
    QStringList calls;
    void clear() override { calls << QStringLiteral("clear"); }
    void setText(const QString &text) override { calls << QStringLiteral("set ") + text; }
};

InterfaceInfo link(bool up, bool running, bool pointToPoint, bool loopback, const QStringList &addresses)
{
    InterfaceInfo info{up, running, pointToPoint, loopback, {}};
    for (const QString &address : addresses)
        info.addresses.append(QHostAddress(address));
    return info;
}

InterfaceInfo ppp(const QStringList &addresses)
{
    return link(true, true, true, false, addresses);
}

// A port on our loopback address where nothing listens.
QString refusedUrl()
{
    QTcpServer probe;
    probe.listen(test::loopback(2), 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://%1:%2/ip").arg(test::loopbackText(2)).arg(port);
}

} // namespace

class TestOwnAddress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void dottedAddress_data();
    void dottedAddress();

    void dialupChoice_data();
    void dialupChoice();

    void getReturnsWholeBodyOfExactUrl_data();
    void getReturnsWholeBodyOfExactUrl();
    void getFailures_data();
    void getFailures();
    void getDoesNotRunCallerEvents();
    void cancelFromAnotherThreadAbandonsTransfer();

    void serverReply_data();
    void serverReply();
    void dialupAddressWinsWithoutAskingServer();
    void lookupOrder();
    void unreachableServerGivesEmpty();
    void silentServerGivesEmptyAfterFiveSeconds();
    void copyPutsAddressOnClipboard();

private:
    std::unique_ptr<ThreadedHttpServer> m_server;
};

void TestOwnAddress::initTestCase()
{
    // Every request of these tests must go straight to the loopback server.
    for (const char *name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    m_server = std::make_unique<ThreadedHttpServer>(test::loopback(1));
    QVERIFY(m_server->isListening());
}

void TestOwnAddress::dottedAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dotted");

    QTest::newRow("plain") << "192.168.10.200" << true;
    QTest::newRow("all zero") << "0.0.0.0" << true;
    QTest::newRow("all 255") << "255.255.255.255" << true;
    QTest::newRow("first above 255") << "256.1.1.1" << false;
    QTest::newRow("third above 255") << "1.2.300.4" << false;
    QTest::newRow("last above 255") << "1.2.3.256" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("empty first part") << ".2.3.4" << false;
    QTest::newRow("empty middle part") << "1..3.4" << false;
    QTest::newRow("empty last part") << "1.2.3." << false;
    QTest::newRow("blank last part") << "1.2.3. " << false;
    QTest::newRow("two stops") << "1.2.3" << false;
    QTest::newRow("letters") << "a.b.c.d" << false;
    QTest::newRow("letter after digits") << "1.2.3.4a" << false;
    QTest::newRow("host name") << "example.com" << false;
    QTest::newRow("fifth group read with the fourth") << "1.2.3.4.5" << true;
    QTest::newRow("fourth and fifth above 255") << "1.2.3.255.5" << false;
    QTest::newRow("sixth group") << "1.2.3.4.5.6" << false;
    QTest::newRow("blanks around parts") << " 1. 2.3\t.4 " << true;
    QTest::newRow("trailing LF") << "1.2.3.4\n" << false;
    QTest::newRow("trailing CR LF") << "1.2.3.4\r\n" << false;
    QTest::newRow("plus sign") << "1.2.3.+4" << true;
    QTest::newRow("negative") << "1.2.-3.4" << false;
    QTest::newRow("hexadecimal") << "1.2.3.0x1" << false;
    QTest::newRow("exponent") << "1.2.3.1e2" << false;
    QTest::newRow("full-width digits") << "１.２.３.４" << false;
    QTest::newRow("leading zeros") << "010.001.000.255" << true;
}

void TestOwnAddress::dottedAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, dotted);
    QCOMPARE(isDottedAddress(text), dotted);
}

void TestOwnAddress::dialupChoice_data()
{
    QTest::addColumn<QList<InterfaceInfo>>("interfaces");
    QTest::addColumn<QString>("expected");

    const InterfaceInfo ethernet = link(true, true, false, false, {"192.168.1.5"});
    const InterfaceInfo lo = link(true, true, false, true, {"127.0.0.1", "::1"});

    QTest::newRow("no interfaces") << QList<InterfaceInfo>{} << "";
    QTest::newRow("only local network") << QList{lo, ethernet} << "";
    QTest::newRow("one dial-up link") << QList{lo, ethernet, ppp({"10.64.3.9"})} << "10.64.3.9";
    QTest::newRow("link down") << QList{link(false, true, true, false, {"10.64.3.9"})} << "";
    QTest::newRow("link not running") << QList{link(true, false, true, false, {"10.64.3.9"})} << "";
    QTest::newRow("point-to-point loopback") << QList{link(true, true, true, true, {"127.0.0.2"})} << "";
    QTest::newRow("IPv6 only") << QList{ppp({"fe80::1"})} << "";
    QTest::newRow("IPv4 after IPv6") << QList{ppp({"fe80::1", "10.1.1.1"})} << "10.1.1.1";
    QTest::newRow("two links") << QList{ppp({"10.1.1.1"}), ppp({"10.2.2.2"})} << "";
    QTest::newRow("second link without IPv4") << QList{ppp({"fe80::2"}), ppp({"10.2.2.2"})} << "10.2.2.2";
    QTest::newRow("second link down") << QList{ppp({"10.1.1.1"}), link(false, false, true, false, {"10.2.2.2"})}
                                      << "10.1.1.1";
}

void TestOwnAddress::dialupChoice()
{
    QFETCH(QList<InterfaceInfo>, interfaces);
    QFETCH(QString, expected);
    QCOMPARE(dialupAddressFrom(interfaces), expected);
}

void TestOwnAddress::getReturnsWholeBodyOfExactUrl_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("withLength");

    QTest::newRow("with length") << QByteArray("1.2.3.4\r\n") << true;
    QTest::newRow("until close") << QByteArray("line one\nline two\x01\x82\xa0") << false;
    QTest::newRow("empty body") << QByteArray() << true;
}

void TestOwnAddress::getReturnsWholeBodyOfExactUrl()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, withLength);
    m_server->setResponse(httpResponse("200 OK", body, withLength));

    HttpClient http;
    const auto reply = http.get(m_server->url(QStringLiteral("/cgi/ip.cgi?room+quit")), 10);
    QVERIFY(reply.has_value());
    QCOMPARE(*reply, body);
    QCOMPARE(m_server->lastRequestLine(), QByteArray("GET /cgi/ip.cgi?room+quit HTTP/1.1"));
}

void TestOwnAddress::getFailures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("response");

    const QByteArray ok = httpResponse("200 OK", "1.2.3.4", true);
    QTest::newRow("not found") << m_server->url("/ip") << httpResponse("404 Not Found", "1.2.3.4", true);
    QTest::newRow("server error") << m_server->url("/ip") << httpResponse("500 Internal Server Error", "1.2.3.4", false);
    QTest::newRow("refused") << refusedUrl() << ok;
    QTest::newRow("empty url") << QString() << ok;
    QTest::newRow("no scheme") << QStringLiteral("just some words") << ok;
    QTest::newRow("other scheme") << QStringLiteral("file:///etc/hostname") << ok;
}

void TestOwnAddress::getFailures()
{
    QFETCH(QString, url);
    QFETCH(QByteArray, response);
    m_server->setResponse(response);

    HttpClient http;
    QCOMPARE(http.get(url, 10), std::nullopt);
}

void TestOwnAddress::getDoesNotRunCallerEvents()
{
    // A server that never answers keeps the client waiting for its whole time-out.
    m_server->setResponse({});
    const int before = m_server->requestCount();
    bool ranDuringRequest = false;
    bool requestDone = false;
    QMetaObject::invokeMethod(this, [&] { ranDuringRequest = !requestDone; }, Qt::QueuedConnection);

    HttpClient http;
    const auto reply = http.get(m_server->url("/silent"), 1);
    requestDone = true;
    QCOMPARE(reply, std::nullopt);
    QCOMPARE(m_server->requestCount(), before + 1);
    QCoreApplication::processEvents();
    QVERIFY(!ranDuringRequest);
}

void TestOwnAddress::cancelFromAnotherThreadAbandonsTransfer()
{
    m_server->setResponse({});
    const int before = m_server->requestCount();
    HttpClient http;
    http.cancel(); // idle: nothing happens

    std::thread canceller([&] {
        // Cancel only once the request has reached the server.
        while (m_server->requestCount() == before)
            QThread::msleep(20);
        http.cancel();
    });
    QElapsedTimer clock;
    clock.start();
    const auto reply = http.get(m_server->url("/silent"), 60);
    canceller.join();
    QCOMPARE(reply, std::nullopt);
    // Far below the 60 s time-out: the cancel ended the wait.
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));

    // The client is still usable afterwards.
    m_server->setResponse(httpResponse("200 OK", "after", true));
    QCOMPARE(http.get(m_server->url("/ip"), 10), std::optional<QByteArray>("after"));
}

void TestOwnAddress::serverReply_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("expected");

    auto ok = [](const QByteArray &body) { return httpResponse("200 OK", body, true); };
    QTest::newRow("dotted") << ok("203.0.113.7") << "203.0.113.7";
    QTest::newRow("part above 255") << ok("203.0.113.256") << "";
    QTest::newRow("empty part") << ok("203..113.7") << "";
    QTest::newRow("letters") << ok("203.0.x.7") << "";
    QTest::newRow("two stops") << ok("203.0.113") << "";
    QTest::newRow("fifth group kept whole") << ok("1.2.3.4.5") << "1.2.3.4.5";
    QTest::newRow("trailing line break") << ok("203.0.113.7\r\n") << "";
    QTest::newRow("html page") << ok("<html>203.0.113.7</html>") << "";
    QTest::newRow("not found page holding an address") << httpResponse("404 Not Found", "203.0.113.7", true) << "";
}

void TestOwnAddress::serverReply()
{
    QFETCH(QByteArray, response);
    QFETCH(QString, expected);
    m_server->setResponse(response);

    Preferences prefs;
    prefs.addressServer = m_server->url("/myip");
    FixedDialup dialup;
    HttpClient http;
    OwnAddress own(prefs, dialup, http);
    const int before = m_server->requestCount();
    own.findMyAddress();
    QCOMPARE(own.myAddress(), expected);
    QCOMPARE(m_server->requestCount(), before + 1);
    QCOMPARE(m_server->lastRequestLine(), QByteArray("GET /myip HTTP/1.1"));
}

void TestOwnAddress::dialupAddressWinsWithoutAskingServer()
{
    m_server->setResponse(httpResponse("200 OK", "203.0.113.7", true));
    Preferences prefs;
    prefs.addressServer = m_server->url("/myip");
    FixedDialup dialup;
    dialup.value = QStringLiteral("10.64.3.9");
    HttpClient http;
    OwnAddress own(prefs, dialup, http);

    const int before = m_server->requestCount();
    own.findMyAddress();
    QCOMPARE(own.myAddress(), QStringLiteral("10.64.3.9"));
    QCOMPARE(m_server->requestCount(), before);

    // Once the link is gone the next lookup asks the server.
    dialup.value.clear();
    own.findMyAddress();
    QCOMPARE(own.myAddress(), QStringLiteral("203.0.113.7"));
    QCOMPARE(m_server->requestCount(), before + 1);
}

void TestOwnAddress::lookupOrder()
{
    Preferences prefs;
    FixedDialup dialup;
    ScriptedHttp http;
    http.reply = QByteArray("1.2.3.4");
    OwnAddress own(prefs, dialup, http);

    own.findMyAddress(); // no dial-up link and no server: nothing is asked
    QCOMPARE(own.myAddress(), QString());
    QCOMPARE(http.calls, QStringList());

    prefs.addressServer = QStringLiteral("http://ip.example/?who");
    own.findMyAddress();
    QCOMPARE(own.myAddress(), QStringLiteral("1.2.3.4"));
    QCOMPARE(http.calls, QStringList({"cancel", "get http://ip.example/?who 5"}));

    http.reply.reset(); // a failed request overwrites the address found before
    own.findMyAddress();
    QCOMPARE(own.myAddress(), QString());
}

void TestOwnAddress::unreachableServerGivesEmpty()
{
    Preferences prefs;
    prefs.addressServer = refusedUrl();
    FixedDialup dialup;
    HttpClient http;
    OwnAddress own(prefs, dialup, http);
    own.findMyAddress();
    QCOMPARE(own.myAddress(), QString());
}

void TestOwnAddress::silentServerGivesEmptyAfterFiveSeconds()
{
    m_server->setResponse({});
    Preferences prefs;
    prefs.addressServer = m_server->url("/myip");
    FixedDialup dialup;
    HttpClient http;
    OwnAddress own(prefs, dialup, http);

    QElapsedTimer clock;
    clock.start();
    own.findMyAddress();
    const qint64 waited = clock.elapsed();
    QCOMPARE(own.myAddress(), QString());
    // It waits the address server's five seconds, not the directory server's thirty.
    QVERIFY2(waited >= 4500 && waited < 20000, qPrintable(QString::number(waited)));
}

void TestOwnAddress::copyPutsAddressOnClipboard()
{
    Preferences prefs;
    FixedDialup dialup;
    ScriptedHttp http;
    OwnAddress own(prefs, dialup, http);
    RecordingClipboard clipboard;

    own.copyMyAddress(clipboard);
    QCOMPARE(clipboard.calls, QStringList()); // unknown address: the clipboard is left alone

    dialup.value = QStringLiteral("10.64.3.9");
    own.copyMyAddress(clipboard);
    QCOMPARE(clipboard.calls, QStringList({"clear", "set 10.64.3.9"}));
    QCOMPARE(own.myAddress(), QStringLiteral("10.64.3.9"));
}

QTEST_GUILESS_MAIN(TestOwnAddress)
#include "tst_ownaddress.moc"
