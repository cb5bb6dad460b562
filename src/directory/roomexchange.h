#pragma once
// Meeting in a directory room. Entering asks the entry's directory server for its room:
// when nobody waits there this copy becomes the one waiting (the title says so, the
// registration is renewed every third tick of a 40-second timer and at once when a
// connection ends); when someone waits, their address is joined at once. Withdrawing sends
// the same request with "+quit".
//
// A request is awaited in a local event loop, so the window keeps painting and every other
// handler may run meanwhile: members arrive and leave, the timer ticks, the window closes.
// While a request is out, entering is refused and a renewal is skipped (busy()); withdrawing
// or closing cancels it, and a cancelled request's reply is ignored. Whatever a request's
// continuation relies on is read again after the wait.

#include "directory/roomrequest.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

class QEventLoop;

namespace tarnivel {

class ChatDelivery;
class ChatLog;
class HttpGet;

class RoomExchange : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickIntervalMs = 40000;
    // Ticks between renewals: a renewal comes on every third tick.
    static constexpr int TicksPerRenewal = 3;

    // Entries are read from entryFolder; requests leave from bindAddress (null: any).
    RoomExchange(ChatLog &log, const ChatDelivery &chat, const QString &entryFolder,
                 const QHostAddress &bindAddress, QObject *parent = nullptr);
    ~RoomExchange() override;

    const QString &entryFolder() const { return m_entryFolder; }
    bool waiting() const { return m_waiting; }
    // " [entryで待機]" while waiting after a successful exchange; empty otherwise.
    const QString &waitTitle() const { return m_waitTitle; }
    // A request is out.
    bool busy() const { return !m_pending.isEmpty(); }

    // The timer runs from the window's loading on.
    void startTicking();

    // The server command (F2): withdraws a wait, asks chooseEntry for an entry (the list
    // dialog; nothing when closed without a choice) and enters its room.
    void serverCommand(const std::function<std::optional<QString>()> &chooseEntry);
    // The quick-server command (F3): enters the quick entry's room without the list.
    void quickCommand(const QString &quickServer);
    // Withdraw with a log line (the cancel-waiting command, the disconnect command).
    void quitWaiting();
    // Renew the registration while waiting (the timer, a connection that ended).
    void pollRoom();
    // Closing: withdraw without a line when waiting (or when an enter is still out, as the
    // server may have registered it); from then on nothing is asked.
    void leaveSilently();

    // Tests run the timer and the request time-out faster.
    void setTickIntervalMs(int ms);
    void setRequestTimeoutMs(int ms) { m_requestTimeoutMs = ms; }

signals:
    void titleChanged();
    void waitingChanged(bool waiting);
    void busyChanged(bool busy);
    // Someone waits in the room at this address; emitted only while not in a chat.
    void partnerFound(const QString &address);

private:
    struct Fetched
    {
        enum class Outcome {
            Text,      // the reply (empty when the server could not be reached)
            Failed,    // the request failed: error status, time-out, broken reply
            Cancelled, // withdrawn or closed meanwhile: the reply does not count
            Gone,      // this object was destroyed meanwhile: touch nothing
        };
        Outcome outcome;
        QString text;
    };
    struct Pending
    {
        HttpGet *get;
        QEventLoop *loop;
    };

    Fetched fetch(RoomRequest request);
    void cancel();
    void tick();
    // By value: the name must outlive anything that happens while the server is asked.
    void enterRoom(QString entryName);
    // An attempt to enter that did not succeed: its line, no title suffix.
    void endAttempt(const QString &line);
    // A renewal that did not succeed: its line, no longer waiting.
    void endWait(const QString &line);
    void setWaiting(bool waiting);
    void showWaitTitle();

    ChatLog &m_log;
    const ChatDelivery &m_chat;
    const QString m_entryFolder;
    const QHostAddress m_bindAddress;
    QTimer m_ticker;
    int m_requestTimeoutMs;
    QList<Pending *> m_pending;
    quint64 m_cancelGeneration = 0;
    bool m_shutDown = false;

    QString m_dirUrl;
    QString m_dirRoom;
    QString m_waitServer;
    QString m_waitTitle;
    bool m_waiting = false;
    int m_pollTicks = 0;
};

} // namespace tarnivel
