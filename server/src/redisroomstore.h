#pragma once

#include "redisconnection.h"
#include "roomstore.h"

namespace tarnivel::dirserver {

// Rooms held in a Redis server (7 or later) shared by several front ends, through one
// thread's connection. When the connection is down or late, requests are answered as
// unavailable.
class RedisRoomStore final : public RoomStore
{
public:
    RedisRoomStore(RedisConnection &connection, ThreadCounters &counters, StoreSettings settings);

    // What the connection sends on connecting: the function library.
    [[nodiscard]] static std::vector<RedisConnection::SetupStep> setupSteps();

    void enter(const std::string &room, StoreCaller caller, EnterHandler done) override;
    void withdraw(const std::string &room, StoreCaller caller, WithdrawHandler done) override;

private:
    // An error reply: counted, and when the functions are gone (FUNCTION FLUSH, or a new
    // server behind the same address) the connection is made again, which loads them.
    void replyFailed(const redisReply &reply);

    RedisConnection &connection;
    ThreadCounters &counters;
    const std::string expiryMs;
    const std::string maxRooms;
    const std::string maxWaits;
    const std::string waitsKey;
};

} // namespace tarnivel::dirserver
