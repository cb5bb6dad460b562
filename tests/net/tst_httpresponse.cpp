// The HTTP reply reader on bytes a server may send, whole and arriving in pieces.
// (Replies through real sockets are tested in tst_rooms and tst_ownaddress.)

#include "net/httpget.h"
#include "net/httpresponse.h"

#include <QtTest>

using namespace tarnivel;

namespace {

using State = HttpResponseParse::State;

QByteArray stateName(State state)
{
    switch (state) {
    case State::Incomplete:
        return "incomplete";
    case State::Complete:
        return "complete";
    case State::Malformed:
        return "malformed";
    }
    return "?";
}

const QByteArray Ok = "HTTP/1.1 200 OK\r\n";
const QByteArray Chunked = Ok + "Transfer-Encoding: chunked\r\n\r\n";

// Where the head ends: a fault in it is found there.
qsizetype headEnd(const QByteArray &bytes)
{
    return bytes.indexOf("\r\n\r\n") + 4;
}

QByteArray withLength(const QByteArray &length, const QByteArray &body)
{
    return Ok + "Content-Length: " + length + "\r\n\r\n" + body;
}

} // namespace

class TestHttpResponse : public QObject
{
    Q_OBJECT
private slots:
    void replies_data();
    void replies();
    void urls_data();
    void urls();
};

void TestHttpResponse::replies_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closed"); // the server has closed after these bytes
    QTest::addColumn<QByteArray>("state");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<qsizetype>("decidedAt"); // the fewest bytes that decide it before a close; -1: only the close does
    const auto row = [](const char *name, const QByteArray &bytes, bool closed, const char *state, int status,
                        const QByteArray &body, qsizetype decidedAt) {
        QTest::newRow(name) << bytes << closed << QByteArray(state) << status << body << decidedAt;
    };
    // Decided as soon as the last head has arrived.
    const auto headRow = [&row](const char *name, const QByteArray &bytes, const char *state, int status,
                                const QByteArray &body = {}) {
        row(name, bytes, false, state, status, body, headEnd(bytes));
    };
    const QByteArray six = withLength("6", "NoUser");
    const QByteArray full(MaxHttpBodyBytes, 'b');

    row("Content-Length", six, false, "complete", 200, "NoUser", six.size());
    row("bytes after the length", six + "XY", false, "complete", 200, "NoUser", six.size());
    row("Content-Length 0", withLength("0", ""), false, "complete", 200, "", withLength("0", "").size());
    const QByteArray alike = Ok + "Content-Length: 2\r\ncontent-length: 2, 2\r\n\r\nok";
    row("Content-Length repeated alike", alike, false, "complete", 200, "ok", alike.size());
    const QByteArray unlike = Ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nok";
    headRow("Content-Length repeated unlike", unlike, "malformed", 0);
    headRow("Content-Length not digits", withLength("+6", "NoUser"), "malformed", 0);
    headRow("Content-Length in hex", withLength("0x6", "NoUser"), "malformed", 0);
    headRow("Content-Length without a number", withLength(" , ", "NoUser"), "malformed", 0);
    headRow("Content-Length overflowing", withLength("18446744073709551616", "NoUser"), "malformed", 0);
    row("Content-Length near the top, cut at the cap", withLength("18446744073709551615", full + "c"), false,
        "complete", 200, full, six.size() + 13 + MaxHttpBodyBytes);
    headRow("Content-Length beside chunked",
            Ok + "Content-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", "malformed", 0);
    row("no length, until the close", "HTTP/1.0 200 OK\r\n\r\nNoUser", true, "complete", 200, "NoUser", -1);
    const QByteArray oneZero = "HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nNoUser";
    row("HTTP/1.0 with a length", oneZero, false, "complete", 200, "NoUser", oneZero.size());
    row("HTTP/2 is not read", "HTTP/2 200\r\n\r\nNoUser", false, "malformed", 0, "", 6);
    row("no length, cut at the cap", "HTTP/1.0 200 OK\r\n\r\n" + full + "more", false, "complete", 200, full,
        19 + MaxHttpBodyBytes);
    row("longer body by length, cut at the cap", withLength("100000", full + "more"), false, "complete", 200, full,
        six.size() - 6 + 5 + MaxHttpBodyBytes);
    row("closed inside the body", withLength("6", "NoU"), true, "malformed", 200, "", -1);
    row("closed inside the head", Ok + "Content-Len", true, "malformed", 0, "", -1);
    row("head not ended yet", Ok + "Content-Length: 6\r\n", false, "incomplete", 0, "", -1);

    row("one interim head", "HTTP/1.1 100 Continue\r\n\r\n" + six, false, "complete", 200, "NoUser", 25 + six.size());
    const QByteArray interims = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n"
                                "HTTP/1.1 103 Early Hints\r\nLink: </s.css>; rel=preload\r\n\r\n";
    row("several interim heads", interims + six, false, "complete", 200, "NoUser", interims.size() + six.size());
    QByteArray flood;
    while (flood.size() <= MaxHttpHeadBytes)
        flood += "HTTP/1.1 100 Continue\r\n\r\n";
    row("interim heads past the head cap", flood, false, "malformed", 100, "", MaxHttpHeadBytes);
    const QByteArray switching = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n";
    row("switching protocols", switching + six, false, "malformed", 101, "", switching.size());
    row("oversize head", Ok + "X-Pad: " + QByteArray(MaxHttpHeadBytes, 'a') + "\r\n\r\n", false, "malformed", 0, "",
        MaxHttpHeadBytes);

    const QByteArray chunks = Chunked
        + "2;name=value\r\nNo\r\n004 ; x=\"y\"\r\nUser\r\nA\r\n0123456789\r\n"
          "0\r\nExpires: never\r\n\r\n";
    row("chunks with extensions and trailer", chunks, false, "complete", 200, "NoUser0123456789", chunks.size());
    row("chunks, bytes after the end", chunks + "junk", false, "complete", 200, "NoUser0123456789", chunks.size());
    row("closed before the trailer's end", Chunked + "2\r\nok\r\n0\r\n", true, "malformed", 200, "", -1);
    row("closed inside a chunk", Chunked + "6\r\nNoU", true, "malformed", 200, "", -1);
    const QByteArray hexSizes = Chunked + "a\r\n0123456789\r\n1F\r\n" + QByteArray(31, 'f') + "\r\n0\r\n\r\n";
    row("chunk sizes in hex, either case", hexSizes, false, "complete", 200, "0123456789" + QByteArray(31, 'f'),
        hexSizes.size());
    const QByteArray badTrailer = Chunked + "2\r\nok\r\n0\r\nnot a field\r\n\r\n";
    row("trailer line not a field", badTrailer, false, "malformed", 200, "", badTrailer.size() - 2);
    row("chunk size not hex", Chunked + "zz\r\nok\r\n0\r\n\r\n", false, "malformed", 200, "", Chunked.size() + 4);
    row("chunk size in 0x form", Chunked + "0x2\r\nok\r\n0\r\n\r\n", false, "malformed", 200, "", Chunked.size() + 5);
    row("chunk size with a sign", Chunked + "-1\r\nok\r\n0\r\n\r\n", false, "malformed", 200, "", Chunked.size() + 4);
    row("chunk size near LLONG_MAX", Chunked + "7ffffffffffffffe\r\nok\r\n", false, "malformed", 200, "",
        Chunked.size() + 18);
    row("chunk size past 64 bits", Chunked + "10000000000000002\r\nok\r\n", false, "malformed", 200, "",
        Chunked.size() + 19);
    row("largest chunk, cut at the cap", Chunked + "ffffffff\r\n" + full + "c", false, "complete", 200, full,
        Chunked.size() + 10 + MaxHttpBodyBytes);
    row("chunk data without its line end", Chunked + "2\r\nokX\r\n0\r\n\r\n", false, "malformed", 200, "",
        Chunked.size() + 7);
    const QByteArray longExtension = "1;" + QByteArray(MaxHttpFramingBytes, 'x') + "\r\nz\r\n0\r\n\r\n";
    row("chunk framing past its cap", Chunked + longExtension, false, "malformed", 200, "",
        Chunked.size() + MaxHttpFramingBytes);
    headRow("coding we did not ask for", Ok + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", "malformed", 0);

    const QByteArray notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 8\r\n\r\nNotFound";
    row("error status keeps its body", notFound, false, "complete", 404, "NotFound", notFound.size());
    headRow("not modified has no body", "HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n\r\nhello", "complete", 304);
    headRow("field without a name", Ok + ": 6\r\n\r\n", "malformed", 0);
    headRow("no content has no body", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\nhello", "complete", 204);
    row("not HTTP", "SSH-2.0-OpenSSH_9.2\r\n", false, "malformed", 0, "", 1);
    headRow("status of four digits", "HTTP/1.1 2000 OK\r\n\r\n", "malformed", 0);
    headRow("status of four digits, no reason", "HTTP/1.1 2000\r\n\r\n", "malformed", 0);
    headRow("status without a reason", "HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n", "complete", 200);
    headRow("status below 100", "HTTP/1.1 099 Odd\r\n\r\n", "malformed", 0);
    headRow("blank before the colon", Ok + "Content-Length : 6\r\n\r\nNoUser", "malformed", 0);
    headRow("folded field line", Ok + "X-A: 1\r\n Content-Length: 6\r\n\r\nNoUser", "malformed", 0);
    headRow("bare line feed in the head", Ok + "X-A: 1\nContent-Length: 6\r\n\r\nNoUser", "malformed", 0);
}

void TestHttpResponse::replies()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closed);
    QFETCH(QByteArray, state);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(qsizetype, decidedAt);

    const HttpResponseParse whole = parseHttpResponse(bytes, closed);
    QCOMPARE(stateName(whole.state), state);
    QCOMPARE(whole.status, status);
    QCOMPARE(whole.body, body);

    // Arriving in pieces, as the socket hands them over: nothing is decided before decidedAt
    // bytes, and from there on the answer is the one above. Every split of a short reply is
    // tried; for long ones a thousand, and both sides of the decisive byte.
    const qsizetype step = bytes.size() <= 4096 ? 1 : bytes.size() / 1024;
    QList<qsizetype> cuts{decidedAt - 1, decidedAt};
    for (qsizetype cut = 0; cut <= bytes.size(); cut += step)
        cuts << cut;
    for (const qsizetype cut : std::as_const(cuts)) {
        if (cut < 0 || cut > bytes.size())
            continue;
        const HttpResponseParse part = parseHttpResponse(QByteArrayView(bytes).first(cut), false);
        if (decidedAt < 0 || cut < decidedAt) {
            QVERIFY2(part.state == State::Incomplete, qPrintable(QStringLiteral("decided at %1 bytes").arg(cut)));
        } else {
            QVERIFY2(part == whole,
                     qPrintable(QStringLiteral("%1 after %2 bytes").arg(stateName(part.state)).arg(cut)));
        }
    }
}

// How a URL typed into an entry is taken apart for the request: "-" for a URL refused.
void TestHttpResponse::urls_data()
{
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QString>("parts"); // tls host port hostHeader target userInfo
    const auto row = [](const char *name, const QByteArray &url, const char *parts) {
        QTest::newRow(name) << url << QString::fromUtf8(parts);
    };
    row("plain", "http://h.jp/cgi/room.cgi?lobby", "0 h.jp 80 h.jp /cgi/room.cgi?lobby -");
    row("https on its own port", "https://h.jp/r", "1 h.jp 443 h.jp /r -");
    row("scheme in capitals", "HTTP://h.jp/r", "0 h.jp 80 h.jp /r -");
    row("port", "http://h.jp:8080/r", "0 h.jp 8080 h.jp:8080 /r -");
    row("no path", "http://h.jp?lobby", "0 h.jp 80 h.jp /?lobby -");
    row("fragment ends the host", "http://h.jp#x", "0 h.jp 80 h.jp /#x -");
    row("user information up to the last @", "http://u:p@ss@h.jp/r", "0 h.jp 80 h.jp /r u:p@ss");
    row("IPv6 literal", "http://[::1]:81/r", "0 ::1 81 [::1]:81 /r -");
    row("port 65535", "http://h:65535/", "0 h 65535 h:65535 / -");
    row("port 65536", "http://h:65536/", "-");
    row("port 0", "http://h:0/", "-");
    row("port with a sign", "http://h:+80/", "-");
    row("port of six digits", "http://h:000080/", "-");
    row("no host", "http:///r", "-");
    row("another scheme", "ftp://h/r", "-");
    row("no scheme", "h.jp/r", "-");
}

void TestHttpResponse::urls()
{
    QFETCH(QByteArray, url);
    QFETCH(QString, parts);
    const std::optional<HttpUrl> split = splitHttpUrl(url);
    QString got = QStringLiteral("-");
    if (split)
        got = QStringLiteral("%1 %2 %3 %4 %5 %6")
                  .arg(int(split->tls))
                  .arg(split->host)
                  .arg(split->port)
                  .arg(QString::fromLatin1(split->hostHeader), QString::fromLatin1(split->target),
                       split->userInfo.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(split->userInfo));
    QCOMPARE(got, parts);
}

QTEST_APPLESS_MAIN(TestHttpResponse)
#include "tst_httpresponse.moc"
