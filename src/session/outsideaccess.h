#pragma once
// Being reachable from outside: keeps the chat and join ports forwarded by the home router
// (PortMapper) while the switch is on, and asks the directory server whether the join port
// can be reached (ReachCheck) after a new mapping and after entering a room. What the
// gateway said is written when it differs from what it said before (renewals and a
// gateway still missing stay quiet); every answered check writes its line; a copy that
// cannot be reached says so once in each room wait.
//
// The check is asked only while the join port listens (it is closed while the copy's own
// join has not reached its answering copy), and a "Closed" that may have met the port
// closed that way tells nothing: it is dropped without a line.

#include "directory/reachcheck.h"
#include "gateway/gatewayclient.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace tarnivel {

class ChatLog;
class Mesh;
struct Preferences;
class PortMapper;
class RoomExchange;

class OutsideAccess : public QObject
{
    Q_OBJECT
public:
    OutsideAccess(ChatLog &log, RoomExchange &room, const Mesh &mesh, const Preferences &prefs,
                  const QHostAddress &bindAddress, int leaseSeconds, QObject *parent = nullptr);
    ~OutsideAccess() override;

    // Both switches are on unless set otherwise; switching mapping on maps at once once started.
    void setPortMapping(bool on);
    void setReachCheck(bool on);
    bool portMapping() const { return m_mapping; }
    bool reachCheck() const { return m_checking; }

    // Loading: ask the gateway. The listening ports opened again: ask again.
    void start();
    void portsOpened();
    // Unloading: give the ports back.
    void stop();

    // The router's outside address while the ports are forwarded; empty otherwise.
    QString externalAddress() const;
    // What the last reachability check said, if one answered.
    std::optional<Reach> reach() const { return m_reach; }
    // A check is out, or waits for the join port to listen.
    bool checking() const { return m_check.asking() || !m_deferredCheckUrl.isEmpty(); }

private:
    void mappingOutcome(const GatewayOutcome &outcome);
    void reachAnswered(Reach reach);
    void checkServerOf(const QString &entryUrl);
    void joinPortOpened();
    void waitingChanged(bool waiting);

    ChatLog &m_log;
    RoomExchange &m_room;
    const Mesh &m_mesh;
    QHostAddress m_bindAddress;
    std::unique_ptr<PortMapper> m_mapper; // its thread starts in the network namespace the copy starts in
    ReachCheck m_check;
    bool m_mapping = true;
    bool m_checking = true;
    bool m_started = false;
    std::optional<Reach> m_reach;
    bool m_waitTold = false;
    QString m_deferredCheckUrl; // asked once the join port listens again
    quint64 m_joinsBegunAtAsk = 0;
    QString m_gatewayLine;      // the last line about the gateway
    const Preferences &m_prefs; // the quick server, asked after a mapping when no room was entered yet
};

} // namespace tarnivel
