#include "directory/roomexchange.h"

#include "conversation/chatdelivery.h"
#include "conversation/chatlog.h"
#include "directory/entryfile.h"
#include "directory/roomlines.h"
#include "directory/roomreply.h"
#include "platform/codepage932.h"
#include "platform/http.h"
#include "platform/httpget.h"
#include "platform/logging.h"

#include <QEventLoop>
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

} // namespace

RoomExchange::RoomExchange(ChatLog &log, const ChatDelivery &chat, const QString &entryFolder,
                           const QHostAddress &bindAddress, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_chat(chat)
    , m_entryFolder(entryFolder)
    , m_bindAddress(bindAddress)
    , m_requestTimeoutMs(HttpClient::DefaultTimeoutSeconds * 1000)
{
    m_ticker.setInterval(TickIntervalMs);
    connect(&m_ticker, &QTimer::timeout, this, &RoomExchange::tick);
}

// A request still awaited returns as Gone: its loop is told to end here.
RoomExchange::~RoomExchange()
{
    cancel();
}

void RoomExchange::startTicking()
{
    m_ticker.start();
}

void RoomExchange::setTickIntervalMs(int ms)
{
    m_ticker.setInterval(ms);
}

// ---- Requests -------------------------------------------------------------------------

RoomExchange::Fetched RoomExchange::fetch(RoomRequest request)
{
    const QPointer<RoomExchange> self(this);
    const quint64 generation = m_cancelGeneration;
    const QByteArray url = roomRequestUrl(m_dirUrl, m_dirRoom, request);
    HttpGet get(m_bindAddress);
    QEventLoop loop;
    std::optional<HttpReply> reply;
    connect(&get, &HttpGet::finished, &loop, [&](const HttpReply &r) {
        reply = r;
        loop.quit();
    });
    Pending pending{&get, &loop};
    m_pending.append(&pending);
    if (m_pending.size() == 1)
        emit busyChanged(true);

    qCDebug(lcDirectory) << "GET" << url << "from" << m_bindAddress.toString();
    get.start(url, m_requestTimeoutMs);
    loop.exec(); // returns at once when the application is quitting: then no reply counts

    if (!self)
        return {Fetched::Outcome::Gone, {}};
    m_pending.removeOne(&pending);
    if (m_pending.isEmpty())
        emit busyChanged(false);
    if (!reply || generation != m_cancelGeneration) {
        qCDebug(lcDirectory) << "request cancelled:" << url;
        return {Fetched::Outcome::Cancelled, {}};
    }
    switch (reply->outcome) {
    case HttpReply::Outcome::Body:
        qCDebug(lcDirectory) << "reply" << reply->body;
        return {Fetched::Outcome::Text, cp932::decode(reply->body)};
    case HttpReply::Outcome::Unreachable:
        qCInfo(lcDirectory) << "directory server not reached:" << url << reply->problem;
        return {Fetched::Outcome::Text, {}};
    case HttpReply::Outcome::Failed:
        break;
    }
    qCInfo(lcDirectory) << "directory request failed:" << url << reply->problem;
    return {Fetched::Outcome::Failed, {}};
}

void RoomExchange::cancel()
{
    ++m_cancelGeneration;
    for (Pending *pending : std::as_const(m_pending)) {
        pending->get->abort();
        pending->loop->quit();
    }
}

// ---- Commands -------------------------------------------------------------------------

void RoomExchange::serverCommand(const std::function<std::optional<QString>()> &chooseEntry)
{
    if (m_shutDown || busy()) {
        qCDebug(lcDirectory) << "server command refused: a request is still out";
        return;
    }
    const QPointer<RoomExchange> self(this);
    if (m_waiting)
        quitWaiting();
    if (!self)
        return;
    setWaiting(false);
    // The list is modal: anything may have happened by the time it closes.
    const std::optional<QString> chosen = chooseEntry();
    if (!self || m_shutDown || busy() || !chosen || chosen->isEmpty())
        return;
    enterRoom(*chosen);
}

void RoomExchange::quickCommand(const QString &quickServer)
{
    if (m_shutDown || busy()) {
        qCDebug(lcDirectory) << "quick-server command refused: a request is still out";
        return;
    }
    const QPointer<RoomExchange> self(this);
    if (m_waiting)
        quitWaiting();
    if (!self)
        return;
    setWaiting(false);
    if (quickServer.isEmpty()) {
        m_log.addLog(roomline::noQuickServer());
        emit titleChanged();
        return;
    }
    enterRoom(quickServer);
}

void RoomExchange::enterRoom(QString entryName)
{
    const QString path = entryFilePath(m_entryFolder, entryName);
    const std::optional<DirectoryEntry> entry = readEntryFile(path);
    if (!entry) {
        qCInfo(lcDirectory) << "entry file missing or unreadable:" << path;
        endAttempt(roomline::serverError(From::Command));
        return;
    }
    m_dirUrl = entry->url;
    m_dirRoom = entry->room;
    m_waitServer = entryName;
    m_waitTitle.clear();
    m_log.addLog(roomline::entering(entryName));

    const Fetched reply = fetch(RoomRequest::Enter);
    switch (reply.outcome) {
    case Fetched::Outcome::Gone:
    case Fetched::Outcome::Cancelled:
        return;
    case Fetched::Outcome::Failed:
        endAttempt(roomline::serverError(From::Command));
        return;
    case Fetched::Outcome::Text:
        break;
    }

    const RoomReply kind = classifyRoomReply(reply.text);
    if (const std::optional<QString> line = failureLine(kind, From::Command, m_dirRoom)) {
        endAttempt(*line);
        return;
    }
    showWaitTitle();
    if (kind == RoomReply::NoUser) {
        // In a chat already: the wait is entered without a word.
        if (!m_chat.inChat())
            m_log.addLog(roomline::nobodyWaiting());
        m_pollTicks = 0;
        setWaiting(true);
        return;
    }
    m_pollTicks = 0;
    setWaiting(true);
    // Members may have come while the reply was awaited: in a chat, the address is not used.
    if (!m_chat.inChat())
        emit partnerFound(reply.text);
}

void RoomExchange::quitWaiting()
{
    if (m_shutDown)
        return;
    setWaiting(false);
    cancel(); // a renewal still out is dropped
    if (fetch(RoomRequest::Withdraw).outcome == Fetched::Outcome::Gone)
        return;
    // The reply, or its absence, changes nothing: the wait is over here either way.
    m_log.addLog(roomline::withdrawn());
    m_waitTitle.clear();
    emit titleChanged();
}

void RoomExchange::leaveSilently()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_ticker.stop();
    const bool mayBeListed = m_waiting || busy();
    setWaiting(false);
    if (!mayBeListed)
        return;
    cancel();
    (void)fetch(RoomRequest::Withdraw);
}

// ---- Renewal --------------------------------------------------------------------------

void RoomExchange::tick()
{
    if (m_pollTicks >= TicksPerRenewal - 1) {
        m_pollTicks = 0;
        pollRoom();
    } else {
        ++m_pollTicks;
    }
}

void RoomExchange::pollRoom()
{
    if (!m_waiting || m_shutDown)
        return;
    m_ticker.start(); // the next tick comes a full interval after this renewal
    if (busy())
        return;
    m_waitTitle.clear();

    const Fetched reply = fetch(RoomRequest::Enter);
    switch (reply.outcome) {
    case Fetched::Outcome::Gone:
    case Fetched::Outcome::Cancelled:
        return;
    case Fetched::Outcome::Failed:
        endWait(roomline::serverError(From::Renewal));
        return;
    case Fetched::Outcome::Text:
        break;
    }
    if (const std::optional<QString> line = failureLine(classifyRoomReply(reply.text), From::Renewal, m_dirRoom)) {
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
    m_waitTitle = roomline::waitTitle(m_waitServer);
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
