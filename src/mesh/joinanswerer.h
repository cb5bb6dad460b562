#pragma once
// The answering side of the join port. A newcomer sends 0x02; a copy in a chat answers with
// its own address and its members' addresses (0x03-separated), or 0x04 when it holds ten
// connections, then hangs up.
//
// The listener stays open while callers are answered: they are held in a few slots and
// answered one at a time, in the order their requests came. Each answer waits for the own
// address; the next caller's waits until the answer before it has been handed over. A caller
// that says nothing is hung up on after a few seconds, and when every slot is taken the
// longest-silent caller makes room for a new one, so nobody can keep newcomers out by
// holding connections open.

#include "mesh/connectionroster.h"

#include <QObject>
#include <QString>
#include <array>
#include <deque>
#include <optional>

class QTimer;

namespace tarnivel {

class ChatLog;
class JoinHost;
class OwnAddress;

class JoinAnswerer : public QObject
{
    Q_OBJECT
public:
    JoinAnswerer(JoinHost &mesh, ConnectionRoster &roster, ChatLog &log, OwnAddress &ownAddress,
                 QObject *parent = nullptr);
    ~JoinAnswerer() override;

    static constexpr int SilentCallerTimeoutMs = 5000;
    void setSilentCallerTimeoutMs(int ms);

    // Every caller hung up on, unanswered (the connections were reset).
    void dropAll();
    // Callers waiting for an answer, the one being answered included.
    int waitingCallers() const;

private:
    struct Caller
    {
        QTimer *silence = nullptr;
        quint64 acceptedOrder = 0; // 0: the slot is free
        bool spoke = false;
        QString request;
    };

    void onConnectionRequest(int requestId);
    void onArrival(int slot, const QByteArray &bytes);
    void onSent(int slot);
    void onFailed(int slot, const QString &description);
    void onHungUp(int slot);
    [[nodiscard]] std::optional<int> slotForNewCaller();
    void answerNext();
    void answer(int slot);
    void hangUp(int slot);

    JoinHost &m_mesh;
    ConnectionRoster &m_roster;
    ChatLog &m_log;
    OwnAddress &m_ownAddress;
    std::array<Caller, ConnectionRoster::JoinCallerSlots> m_callers;
    std::deque<int> m_requests;     // slots whose request waits for its answer, oldest first
    std::optional<int> m_answering; // the slot whose answer is being prepared or written
    quint64 m_acceptedCount = 0;
};

} // namespace tarnivel
