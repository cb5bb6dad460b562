#pragma once
// Meeting in a directory room. Entering asks the entry's directory server for its room:
// when nobody waits there this copy becomes the one waiting (the title says so, the
// registration is renewed every third tick of a 40-second timer and at once when a
// connection ends); when someone waits, their address is joined at once. Withdrawing sends
// the same request with "+quit".
//
// Requests go out one at a time and nothing waits for them: each reply continues the work
// in a slot, which reads again whatever it relies on (the copy may have joined a chat
// meanwhile). While a request is out a renewal is skipped (busy()); a new server or
// quick-server command, withdrawing and closing cancel it, and a cancelled request's reply
// is ignored. Withdraws are never cancelled: one still out goes before the next enter. A
// withdraw's reply changes nothing, so its line is written at once; the program does not
// end before a withdraw it sent has been answered or has timed out, and the withdraw sent
// on closing goes on after the exchange itself is gone.

#include "directory/roomreply.h"
#include "directory/roomrequest.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QEventLoopLocker;

namespace tarnivel {

class ChatDelivery;
class ChatLog;
class HttpGet;
struct HttpReply;

class RoomExchange : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickIntervalMs = 40000;
    // Ticks between renewals: a renewal comes on every third tick.
    static constexpr int TicksPerRenewal = 3;
    static constexpr int RequestTimeoutMs = 30000;

    // The entry chosen (nothing when none was); it may come long after the question.
    using EntryChosen = std::function<void(const std::optional<QString> &entry)>;
    // Asks which entry's room to enter (the list dialog), and returns; the answer goes to
    // the function it is given.
    using EntryChooser = std::function<void(EntryChosen chosen)>;

    // Entries are read from entryFolder; requests leave from bindAddress (null: any).
    RoomExchange(ChatLog &log, const ChatDelivery &chat, const QString &entryFolder, const QHostAddress &bindAddress,
                 QObject *parent = nullptr);
    ~RoomExchange() override;

    const QString &entryFolder() const { return m_entryFolder; }
    // The URL of the entry entered last; empty before any.
    const QString &entryUrl() const { return m_entryUrl; }
    bool waiting() const { return m_waiting; }
    // " [entryで待機]" while waiting after a successful exchange; empty otherwise.
    const QString &waitTitle() const { return m_waitTitle; }
    // A request is out (or waits to go out).
    bool busy() const { return m_current || !m_queue.empty(); }

    // The timer runs from the window's loading on.
    void startTicking();

    // The server command (F2): withdraws a wait, asks chooseEntry for an entry (the list
    // dialog; nothing when closed without a choice) and enters its room once it is chosen,
    // unless another room command or closing came first.
    void serverCommand(const EntryChooser &chooseEntry);
    // The quick-server command (F3): enters the quick entry's room without the list.
    void quickCommand(const QString &quickServer);
    // Withdraw with a log line (the cancel-waiting command, the disconnect command).
    void withdraw();
    // Renew the registration while waiting (the timer, a connection that ended).
    void renew();
    // One tick of the 40-second timer: every third renews.
    void tick();
    // Closing: withdraw without a line when waiting (or when an enter is still out, as the
    // server may have registered it); from then on nothing is asked. `withdrawn` runs once
    // that withdraw has been answered or has timed out (at once when none was needed), and
    // not at all once `context` is gone.
    void withdrawAtClose(QObject *context, std::function<void()> withdrawn);

    // Tests run the timer and the request time-out faster.
    void setTickIntervalMs(int ms);
    void setRequestTimeoutMs(int ms) { m_requestTimeoutMs = ms; }

signals:
    void titleChanged();
    void waitingChanged(bool waiting);
    // An enter request went out.
    void enterSent();
    // Someone waits in the room at this address; emitted only while not in a chat.
    void partnerFound(const QString &address);
    // The server of this entry URL answered an enter request (a wait began or a partner came).
    void roomEntered(const QString &entryUrl);

private:
    enum class Purpose { Enter, Renew, Withdraw };
    struct Request
    {
        Purpose purpose;
        QByteArray url;
        QString room; // for the "room not found" line
        // A withdraw keeps the program running until it is answered.
        std::shared_ptr<QEventLoopLocker> keepRunning;
    };
    // What a reply comes to: its body (empty when the server could not be reached), or
    // nothing when no reply came (time-out, broken reply).
    using Reply = std::optional<RoomAnswer>;

    void send(Purpose purpose);
    void sendNext();
    void replied(const HttpReply &reply);
    // Drops every request except withdraws, which nothing cancels.
    void cancel();
    [[nodiscard]] bool beginRoomCommand();
    void enterRoom(const QString &entryName);
    void entered(const Request &request, const Reply &reply);
    void renewed(const Request &request, const Reply &reply);
    // An attempt to enter that did not succeed: its line, no title suffix.
    void endAttempt(const QString &line);
    // A renewal that did not succeed: its line, no longer waiting.
    void endWait(const QString &line);
    void setWaiting(bool waiting);
    void showWaitTitle();
    bool outstanding(Purpose purpose) const;

    ChatLog &m_log;
    const ChatDelivery &m_chat;
    const QString m_entryFolder;
    const QHostAddress m_bindAddress;
    QTimer m_ticker;
    int m_requestTimeoutMs = RequestTimeoutMs;
    HttpGet *m_get;
    std::optional<Request> m_current;
    std::deque<Request> m_queue;
    bool m_shutDown = false;
    // Bumped by every room command and by closing: an entry chosen for an older one is late.
    quint64 m_roomCommands = 0;

    QString m_entryUrl;
    QString m_entryRoom;
    QString m_waitEntry; // the entry whose room is waited in: the title names it
    QString m_waitTitle;
    bool m_waiting = false;
    int m_renewTicks = 0;
};

} // namespace tarnivel
