#include "directory/roomexchange.h"

#include "conversation/chatdelivery.h"
#include "conversation/chatlog.h"
#include "directory/entryfile.h"
#include "directory/roomlines.h"
#include "directory/roomreply.h"
#include "text/codepage932.h"
#include "net/httpget.h"
#include "text/logging.h"

#include <QCoreApplication>
#include <QEventLoopLocker>
#include <QPointer>

namespace tarnivel {

using roomline::From;

namespace {

// The status line of a reply that ends the request; nothing for "NoUser" or an address.
std::optional<QString> failureLine(RoomReply reply, From from, const QString &room)
{
    switch (reply) {
    case RoomReply::NoServer:
        return roomline::serverNotFound(from);
    case RoomReply::CgiError:
        return roomline::cgiError(from);
    case RoomReply::NotFound:
        return roomline::roomNotFound(from, room);
    case RoomReply::NoUser:
    case RoomReply::Partner:
        break;
    }
    return std::nullopt;
}

// A withdraw sent on closing outlives the exchange (and the window): the program ends once
// it has been answered or has timed out. `answered` runs then, unless `context` is gone.
void sendFarewell(const QByteArray &url, const QHostAddress &bindAddress, int timeoutMs, QObject *context,
                  std::function<void()> answered)
{
    auto *get = new HttpGet(bindAddress, QCoreApplication::instance());
    auto keepRunning = std::make_shared<QEventLoopLocker>();
    QObject::connect(
        get, &HttpGet::finished, get,
        [get, keepRunning, context = QPointer<QObject>(context), answered = std::move(answered)](const HttpReply &) {
            if (context && answered)
                answered();
            get->deleteLater();
        });
    qCDebug(lcDirectory) << "GET" << url << "(on closing)";
    get->start(url, timeoutMs);
}

} // namespace

RoomExchange::RoomExchange(ChatLog &log, const ChatDelivery &chat, const QString &entryFolder,
                           const QHostAddress &bindAddress, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_chat(chat)
    , m_entryFolder(entryFolder)
    , m_bindAddress(bindAddress)
    , m_get(new HttpGet(bindAddress, this))
{
    m_ticker.setInterval(TickIntervalMs);
    connect(&m_ticker, &QTimer::timeout, this, &RoomExchange::tick);
    connect(m_get, &HttpGet::finished, this, &RoomExchange::replied);
}

RoomExchange::~RoomExchange() = default;

void RoomExchange::startTicking()
{
    m_ticker.start();
}

void RoomExchange::setTickIntervalMs(int ms)
{
    m_ticker.setInterval(ms);
}

// ---- Requests -------------------------------------------------------------------------

bool RoomExchange::outstanding(Purpose purpose) const
{
    if (m_current && m_current->purpose == purpose)
        return true;
    return std::any_of(m_queue.begin(), m_queue.end(), [purpose](const Request &r) { return r.purpose == purpose; });
}

void RoomExchange::send(Purpose purpose)
{
    Request request{purpose,
                    roomRequestUrl(m_entryUrl, m_entryRoom,
                                   purpose == Purpose::Withdraw ? RoomRequest::Withdraw : RoomRequest::Enter),
                    m_entryRoom,
                    {}};
    if (purpose == Purpose::Withdraw && QCoreApplication::instance())
        request.keepRunning = std::make_shared<QEventLoopLocker>();
    m_queue.push_back(std::move(request));
    if (!m_current)
        sendNext();
}

void RoomExchange::sendNext()
{
    if (m_current || m_queue.empty())
        return;
    m_current = std::move(m_queue.front());
    m_queue.pop_front();
    qCDebug(lcDirectory) << "GET" << m_current->url;
    m_get->start(m_current->url, m_requestTimeoutMs);
    if (m_current->purpose == Purpose::Enter)
        emit enterSent();
}

void RoomExchange::replied(const HttpReply &httpReply)
{
    if (!m_current)
        return;
    const Request request = std::move(*m_current);
    m_current.reset();

    Reply reply;
    switch (httpReply.outcome) {
    case HttpReply::Outcome::Body:
        qCDebug(lcDirectory) << "reply" << httpReply.body;
        reply = RoomAnswer{cp932::decode(httpReply.body), true};
        break;
    case HttpReply::Outcome::OtherStatus:
        qCInfo(lcDirectory) << "directory server replied with status" << httpReply.status << httpReply.body.left(80);
        reply = RoomAnswer{cp932::decode(httpReply.body), false};
        break;
    case HttpReply::Outcome::Unreachable:
        qCInfo(lcDirectory) << "directory server not reached:" << request.url << httpReply.problem;
        reply = RoomAnswer{};
        break;
    case HttpReply::Outcome::Failed:
        qCInfo(lcDirectory) << "directory request failed:" << request.url << httpReply.problem;
        break;
    }

    const QPointer<RoomExchange> self(this);
    switch (request.purpose) {
    case Purpose::Enter:
        entered(request, reply);
        break;
    case Purpose::Renew:
        renewed(request, reply);
        break;
    case Purpose::Withdraw:
        break; // the reply, or its absence, changes nothing
    }
    if (!self)
        return;
    sendNext();
}

void RoomExchange::cancel()
{
    std::erase_if(m_queue, [](const Request &r) { return r.purpose != Purpose::Withdraw; });
    if (m_current && m_current->purpose != Purpose::Withdraw) {
        qCDebug(lcDirectory) << "request cancelled:" << m_current->url;
        m_get->abort();
        m_current.reset();
        sendNext();
    }
}

// ---- Commands -------------------------------------------------------------------------

// What the server and quick-server commands do first: cancel the request still out (a
// withdraw goes on), and withdraw from the room being waited in. False once closing.
bool RoomExchange::beginRoomCommand()
{
    if (m_shutDown)
        return false;
    ++m_roomCommands;
    cancel();
    if (m_waiting)
        withdraw();
    setWaiting(false);
    return true;
}

void RoomExchange::serverCommand(const EntryChooser &chooseEntry)
{
    if (!beginRoomCommand())
        return;
    // Anything may happen before the list is answered.
    const QPointer<RoomExchange> self(this);
    const quint64 command = m_roomCommands;
    chooseEntry([self, command](const std::optional<QString> &chosen) {
        if (!self || self->m_shutDown || command != self->m_roomCommands || !chosen || chosen->isEmpty())
            return;
        // A withdraw sent above may still be out: the room is entered after it.
        self->enterRoom(*chosen);
    });
}

void RoomExchange::quickCommand(const QString &quickServer)
{
    if (!beginRoomCommand())
        return;
    if (quickServer.isEmpty()) {
        m_log.addLog(roomline::noQuickServer());
        emit titleChanged();
        return;
    }
    enterRoom(quickServer);
}

void RoomExchange::enterRoom(const QString &entryName)
{
    const QString path = entryFilePath(m_entryFolder, entryName);
    const std::optional<DirectoryEntry> entry = readEntryFile(path);
    if (!entry) {
        qCInfo(lcDirectory) << "entry file missing or unreadable:" << path;
        endAttempt(roomline::serverError(From::Command));
        return;
    }
    m_entryUrl = entry->url;
    m_entryRoom = entry->room;
    m_waitEntry = entryName;
    m_waitTitle.clear();
    m_log.addLog(roomline::entering(entryName));
    send(Purpose::Enter);
}

void RoomExchange::entered(const Request &request, const Reply &reply)
{
    if (!reply) {
        endAttempt(roomline::serverError(From::Command));
        return;
    }
    const RoomReply kind = classifyRoomReply(*reply);
    if (const std::optional<QString> line = failureLine(kind, From::Command, request.room)) {
        endAttempt(*line);
        return;
    }
    showWaitTitle();
    // Members may have come while the reply was awaited: then the wait is entered without a
    // word, and an address is not used.
    if (kind == RoomReply::NoUser && !m_chat.inChat())
        m_log.addLog(roomline::nobodyWaiting());
    m_renewTicks = 0;
    setWaiting(true);
    emit roomEntered(m_entryUrl);
    if (kind == RoomReply::Partner && !m_chat.inChat())
        emit partnerFound(reply->text);
}

void RoomExchange::withdraw()
{
    if (m_shutDown)
        return;
    setWaiting(false);
    cancel(); // a renewal still out is dropped
    send(Purpose::Withdraw);
    m_log.addLog(roomline::withdrawn());
    m_waitTitle.clear();
    emit titleChanged();
}

void RoomExchange::withdrawAtClose(QObject *context, std::function<void()> withdrawn)
{
    const bool mayBeListed = !m_shutDown && (m_waiting || outstanding(Purpose::Enter));
    m_shutDown = true;
    m_ticker.stop();
    setWaiting(false);
    cancel();
    if (mayBeListed && QCoreApplication::instance())
        sendFarewell(roomRequestUrl(m_entryUrl, m_entryRoom, RoomRequest::Withdraw), m_bindAddress, m_requestTimeoutMs,
                     context, std::move(withdrawn));
    else if (withdrawn)
        withdrawn();
}

// ---- Renewal --------------------------------------------------------------------------

void RoomExchange::tick()
{
    if (m_renewTicks >= TicksPerRenewal - 1) {
        m_renewTicks = 0;
        renew();
    } else {
        ++m_renewTicks;
    }
}

void RoomExchange::renew()
{
    if (!m_waiting || m_shutDown)
        return;
    m_ticker.start(); // the next tick comes a full interval after this renewal
    if (busy())
        return;
    // The title keeps its suffix until the reply says otherwise.
    send(Purpose::Renew);
}

void RoomExchange::renewed(const Request &request, const Reply &reply)
{
    if (!m_waiting)
        return;
    if (!reply) {
        endWait(roomline::serverError(From::Renewal));
        return;
    }
    if (const std::optional<QString> line = failureLine(classifyRoomReply(*reply), From::Renewal, request.room)) {
        endWait(*line);
        return;
    }
    // A renewal never connects to anyone.
    showWaitTitle();
}

// ---- State ----------------------------------------------------------------------------

void RoomExchange::endAttempt(const QString &line)
{
    m_log.addLog(line);
    m_waitTitle.clear();
    emit titleChanged();
}

void RoomExchange::endWait(const QString &line)
{
    m_log.addLog(line);
    setWaiting(false);
    m_waitTitle.clear();
    emit titleChanged();
}

void RoomExchange::showWaitTitle()
{
    m_waitTitle = roomline::waitTitle(m_waitEntry);
    emit titleChanged();
}

void RoomExchange::setWaiting(bool waiting)
{
    if (m_waiting == waiting)
        return;
    m_waiting = waiting;
    emit waitingChanged(waiting);
}

} // namespace tarnivel
