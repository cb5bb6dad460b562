// One running copy (a real Session behind the tests' fake views) under a sequence of socket
// events, as hostile peers could raise them: its sockets' signals are emitted with fuzzed
// bytes, raw TCP peers dial, send and hang up on loopback, and the user talks and
// (dis)connects in between.
//
// Input: events, each an operation byte and its payload.
//   op % 24 is the socket: 0 chat listener, 1 join server, 2 join client,
//                          3..13 accepted slots 0..10, 14..23 dialled slots 0..9.
//   op / 24 is the event:
//     0   dataArrival: a length byte n and n bytes (n = 255: the rest of the input)
//     1   closed
//     2   error: one byte picks the number
//     3   connected
//     4   connectionRequest: one byte, the request id
//     5   a raw peer dials the join port (join sockets) or the chat port (the others)
//     6   raw peer (socket % peers) sends: a length byte and bytes, as for dataArrival
//     7   raw peer (socket % peers) hangs up
//     8   pending events run
//     9   the user sends a line (length byte and code page 932 bytes): to everyone from
//         the first twelve sockets, else privately to member row (socket % rows)
//     10  (and above) the user disconnects (socket % 3 == 0), joins through the raw
//         peers' address (1) or through its own (2)
//   Raw peers listen on 127.0.0.2 on both ports, so the copy's dials and joins there
//   become raw peers too.
//
// Besides the sanitizers' findings, it fails when the log loses text or an arriving chat line
// (one that ends in CR LF) does not reach it, or when the member list disagrees with the connection count.

#include "fuzzcheck.h"
#include "testaccess.h"
#include "fuzzapp.h"
#include "offline.h"

#include "fakes.h"
#include "fakeviews.h"
#include "testcopy.h"

#include "mesh/connectionroster.h"
#include "mesh/wire.h"
#include "session/session.h"

#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextDocument>

#include <map>
#include <memory>
#include <optional>
#include <vector>

using namespace tarnivel;

namespace {

const QString OwnAddressText = QStringLiteral("127.0.0.1");
const QString RawPeerAddressText = QStringLiteral("127.0.0.2");
constexpr int SocketCount = 24;
constexpr int FirstAccepted = 3;
constexpr int FirstDialled = 14;
constexpr size_t MaxRawPeers = 12;

class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    uint8_t byte() { return atEnd() ? 0 : m_data[m_pos++]; }
    QByteArray bytes()
    {
        const size_t wanted = byte();
        const size_t left = m_size - m_pos;
        const size_t n = wanted == 255 || wanted > left ? left : wanted;
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

void runPendingEvents()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The copy under test, made afresh for every input.
class Copy
{
public:
    explicit Copy(const QString &folder)
    {
        dialup.value = OwnAddressText;
        SessionOptions options;
        options.programFolder = folder;
        options.bindAddress = QHostAddress(OwnAddressText);
        options.dialup = &dialup;
        options.sound = &sound;
        options.lanDiscovery = &lan;
        session = std::make_unique<Session>(options, views, views);
        session->load(QString(), views); // no settings file there: defaults, listening
        session->setShowPeers(true);
    }

    // Index 1 is the join port: its listener for connection requests, its first caller
    // for everything else.
    Socket &socket(int index, bool connectionRequest)
    {
        ConnectionRoster &roster = test::TestAccess::mesh(*session).roster();
        if (index == 0)
            return roster.listening();
        if (index == 1)
            return connectionRequest ? roster.joinListener() : roster.joinCaller(0);
        if (index == 2)
            return roster.joinClient();
        if (index < FirstDialled)
            return roster.accepted(index - FirstAccepted);
        return roster.dialled(index - FirstDialled);
    }

    // Enter in the input box, to everyone or privately to one member row.
    void say(const QString &text, std::optional<int> row)
    {
        views.input = text;
        views.ticked.clear();
        views.sendToChosenChecked = row.has_value() && !views.rows.isEmpty();
        if (views.sendToChosenChecked)
            views.ticked.insert(*row % int(views.rows.size()));
        session->composer().enterPressed();
    }

    test::FakeViews views;
    test::RecordingSound sound;
    test::FixedDialup dialup;
    test::FakeLanDiscovery lan;
    std::unique_ptr<Session> session;
};

int errorNumber(uint8_t pick)
{
    static const int numbers[] = {SocketError::ConnectionAborted,  SocketError::ConnectionReset,
                                  SocketError::TimedOut,           SocketError::ConnectionRefused,
                                  SocketError::AddressInUse,       SocketError::AddressNotAvailable,
                                  SocketError::NetworkUnreachable, SocketError::HostNotFound};
    constexpr size_t known = sizeof numbers / sizeof numbers[0];
    return pick < known ? numbers[pick] : 10000 + pick;
}

// Whether this arrival is the greeting of a chat connection (which it needs before anything
// it sends is shown).
bool isGreeting(int index, const QByteArray &bytes)
{
    if (index < FirstAccepted)
        return false;
    const QString text = wire::decode(bytes);
    const QChar greeting = index < FirstDialled ? wire::HelloMark : wire::ReplyMark;
    return !text.contains(wire::RefuseMark) && !text.isEmpty() && text.front() == greeting;
}

// Whether this arrival on a connection that has greeted is a chat line that must add text to
// the log. After a line break a leading LF may only complete a CR LF pair, so it is not
// counted then.
bool showsChatText(int index, const QByteArray &bytes, bool logEndsInBreak)
{
    if (index < FirstAccepted || isGreeting(index, bytes))
        return false;
    const QString text = wire::decode(bytes);
    if (text.contains(wire::RefuseMark))
        return false;
    // Text up to the last CR LF is shown at once; the rest may be held for its line's end.
    const qsizetype lineEnd = bytes.lastIndexOf("\r\n");
    if (lineEnd < 0)
        return false;
    QString shown = wire::decode(bytes.first(lineEnd + 2));
    shown.remove(wire::PrivateMark);
    if (logEndsInBreak && shown.startsWith(u'\n'))
        shown.remove(0, 1);
    return !shown.isEmpty();
}

void dialRaw(std::vector<std::unique_ptr<QTcpSocket>> &peers, quint16 port)
{
    if (peers.size() >= MaxRawPeers)
        return;
    auto peer = std::make_unique<QTcpSocket>();
    peer->connectToHost(QHostAddress(OwnAddressText), port);
    peer->waitForConnected(200);
    peers.push_back(std::move(peer));
    runPendingEvents();
}

void runEvents(Copy &copy, Input &input)
{
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    QTcpServer rawPorts[2];
    for (QTcpServer &port : rawPorts) {
        QObject::connect(&port, &QTcpServer::newConnection, [&] {
            while (QTcpSocket *peer = port.nextPendingConnection()) {
                peer->setParent(nullptr);
                peers.emplace_back(peer);
            }
        });
    }
    (void)rawPorts[0].listen(QHostAddress(RawPeerAddressText), wire::ChatPort);
    (void)rawPorts[1].listen(QHostAddress(RawPeerAddressText), wire::JoinPort);
    QTextDocument &log = copy.session->logDocument();
    // The connection each chat socket held when it greeted: nothing else is shown.
    std::map<int, quint64> greetedConnections;
    while (!input.atEnd()) {
        const uint8_t op = input.byte();
        const int index = op % SocketCount;
        Socket &socket = copy.socket(index, op / SocketCount == 4);
        const QString logBefore = log.toPlainText();
        const int lengthBefore = log.characterCount();
        bool chatTextArrived = false;

        switch (op / SocketCount) {
        case 0: {
            const QByteArray bytes = input.bytes();
            const quint64 connection = socket.connection();
            const auto greeted = greetedConnections.find(index);
            chatTextArrived = greeted != greetedConnections.end() && greeted->second == connection
                && showsChatText(index, bytes, logBefore.endsWith(u'\n'));
            if (isGreeting(index, bytes))
                greetedConnections[index] = connection;
            emit socket.dataArrival(bytes);
            break;
        }
        case 1:
            emit socket.closed();
            break;
        case 2: {
            const int number = errorNumber(input.byte());
            emit socket.error(number, QStringLiteral("fuzzed failure %1").arg(number));
            break;
        }
        case 3:
            emit socket.connected();
            break;
        case 4:
            emit socket.connectionRequest(input.byte());
            break;
        case 5:
            dialRaw(peers, index == 1 || index == 2 ? wire::JoinPort : wire::ChatPort);
            break;
        case 6: {
            const QByteArray bytes = input.bytes();
            if (!peers.empty()) {
                peers[index % peers.size()]->write(bytes);
                peers[index % peers.size()]->flush();
                runPendingEvents();
            }
            break;
        }
        case 7:
            if (!peers.empty()) {
                peers[index % peers.size()]->abort();
                runPendingEvents();
            }
            break;
        case 8:
            runPendingEvents();
            break;
        case 9:
            copy.say(wire::decode(input.bytes()), index < 12 ? std::nullopt : std::optional<int>(index));
            break;
        default:
            if (index % 3 == 0)
                copy.session->disconnect();
            else
                copy.session->joinAddress(index % 3 == 1 ? RawPeerAddressText : OwnAddressText);
            runPendingEvents();
            break;
        }

        check(log.toPlainText().startsWith(logBefore), "text already in the log changed or went");
        // Status lines may come too; a chat line must at least add its own characters.
        check(!chatTextArrived || log.characterCount() > lengthBefore, "an arriving chat line is not in the log");
        const int count = copy.session->mesh().connectionCount();
        check(copy.session->mesh().members().size() == qMin(count, ConnectionRoster::MaxShownMembers),
              "the member list disagrees with the connection count");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::leaveTheNetwork();
    fuzz::startGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder; // stays empty: nothing here saves the settings
    {
        Copy copy(folder.path());
        Input input(data, size);
        runEvents(copy, input);
    }
    // Sockets the copy retired are deleted later; let that happen before the next input.
    runPendingEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
