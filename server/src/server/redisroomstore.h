#pragma once

#include "redisconnection.h"
#include "roomstore.h"

#include <array>

namespace tarnivel::dirserver {

// Rooms held in a Redis server (7 or later) shared by several front ends, through one
// thread's connection. When the connection is down or late, requests are answered as
// unavailable, and every request carries its deadline into Redis, so that one answered
// unavailable here has changed nothing there, whenever Redis gets to it.
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

    // The keys and limits of a call: the room, every wait, then the caller's networks that
    // have a limit, and their limits.
    void appendNetworks(std::vector<std::string> &keys, std::vector<std::string_view> &limits,
                        const CallerNetworks &networks) const;

    RedisConnection &connection;
    ThreadCounters &counters;
    const StoreSettings settings;
    const std::string expiryMs;
    const std::string maxWaits;
    const std::string waitsKey;
    std::array<std::string, 4> limitTexts; // rooms for a caller, a /56, a /48, a /24
};

} // namespace tarnivel::dirserver
