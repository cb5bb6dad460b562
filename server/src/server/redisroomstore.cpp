#include "redisroomstore.h"

#include "redisfunctions.h"

#include <hiredis/hiredis.h>

namespace tarnivel::dirserver {

namespace {

std::string roomKey(const std::string &room)
{
    return std::string(RedisKeyPrefix) + "room:" + room;
}

std::string networkKey(const NetworkKey &network)
{
    return std::string(RedisKeyPrefix) + "caller:" + network.text();
}

std::size_t limitIndex(const NetworkKey &network)
{
    switch (network.prefixLength) {
    case 56:
        return 1;
    case 48:
        return 2;
    case 24:
        return 3;
    default:
        return 0;
    }
}

EnterResult readEnterReply(const redisReply *reply, ThreadCounters &counters)
{
    if (!reply || reply->type != REDIS_REPLY_ARRAY || reply->elements < 1
        || reply->element[0]->type != REDIS_REPLY_STRING)
        return {EnterOutcome::Unavailable, {}};
    const std::string_view kind(reply->element[0]->str, reply->element[0]->len);
    if (kind == "waiting")
        return {EnterOutcome::Waiting, {}};
    if (kind == "full")
        return {EnterOutcome::TooManyRooms, {}};
    if (kind == "busy")
        return {EnterOutcome::TooManyWaits, {}};
    if (kind == "found" && reply->elements == 2 && reply->element[1]->type == REDIS_REPLY_STRING)
        return {EnterOutcome::Found, std::string(reply->element[1]->str, reply->element[1]->len)};
    if (kind == "late")
        counters.countRedisError(RedisError::Late);
    return {EnterOutcome::Unavailable, {}};
}

} // namespace

RedisRoomStore::RedisRoomStore(RedisConnection &connection, ThreadCounters &counters, StoreSettings settings)
    : connection(connection)
    , counters(counters)
    , settings(settings)
    , expiryMs(std::to_string(settings.expiry.count()))
    , maxWaits(std::to_string(settings.maxWaits))
    , waitsKey(std::string(RedisKeyPrefix) + "waits")
    , limitTexts{std::to_string(settings.rooms.perCaller), std::to_string(settings.rooms.per56),
                 std::to_string(settings.rooms.per48), std::to_string(settings.rooms.per24)}
{}

std::vector<RedisConnection::SetupStep> RedisRoomStore::setupSteps()
{
    RedisConnection::SetupStep load;
    load.words = {"FUNCTION", "LOAD", std::string(RedisFunctionLibrary)};
    load.check = [](const redisReply &reply) -> std::optional<std::string> {
        if (reply.type != REDIS_REPLY_ERROR)
            return std::nullopt;
        const std::string_view error(reply.str, reply.len);
        // Loaded already, by this front end before or by another of the same version.
        if (error.find("already exists") != std::string_view::npos)
            return std::nullopt;
        return "redis refused the directory functions (Redis 7 or later is needed): " + std::string(error);
    };
    return {load};
}

void RedisRoomStore::replyFailed(const redisReply &reply)
{
    counters.countRedisError(RedisError::Reply);
    const std::string_view error(reply.str ? reply.str : "", reply.str ? reply.len : 0);
    if (error.find("Function not found") != std::string_view::npos || error.find("NOAUTH") != std::string_view::npos)
        connection.reconnect(error);
}

void RedisRoomStore::appendNetworks(std::vector<std::string> &keys, std::vector<std::string_view> &limits,
                                    const CallerNetworks &networks) const
{
    for (const auto &network : networks) {
        if (settings.rooms.of(network) == 0)
            continue;
        keys.push_back(networkKey(network));
        limits.push_back(limitTexts[limitIndex(network)]);
    }
}

void RedisRoomStore::enter(const std::string &room, StoreCaller caller, EnterHandler done)
{
    const auto deadline = connection.nextDeadline();
    if (!deadline)
        return done({EnterOutcome::Unavailable, {}});
    std::vector<std::string> keys{roomKey(room), waitsKey};
    std::vector<std::string_view> limits;
    appendNetworks(keys, limits, caller.networks);
    const auto keyCount = std::to_string(keys.size());
    const auto deadlineMs = std::to_string(deadline->redisMs);
    std::vector<std::string_view> words{"FCALL", RedisEnterFunction, keyCount};
    words.insert(words.end(), keys.begin(), keys.end());
    words.insert(words.end(), {caller.address, room, expiryMs, maxWaits, deadlineMs});
    words.insert(words.end(), limits.begin(), limits.end());
    connection.command(
        words,
        [this, done = std::move(done)](const redisReply *reply) {
            if (reply && reply->type == REDIS_REPLY_ERROR)
                replyFailed(*reply);
            done(readEnterReply(reply, counters));
        },
        deadline->local);
}

// Answered only once Redis has it, so that a caller told "OK" is gone for every front end.
void RedisRoomStore::withdraw(const std::string &room, StoreCaller caller, WithdrawHandler done)
{
    const auto deadline = connection.nextDeadline();
    if (!deadline)
        return done(false);
    std::vector<std::string> keys{roomKey(room), waitsKey};
    std::vector<std::string_view> limits;
    appendNetworks(keys, limits, caller.networks);
    const auto keyCount = std::to_string(keys.size());
    const auto deadlineMs = std::to_string(deadline->redisMs);
    std::vector<std::string_view> words{"FCALL", RedisWithdrawFunction, keyCount};
    words.insert(words.end(), keys.begin(), keys.end());
    words.insert(words.end(), {caller.address, room, deadlineMs});
    connection.command(
        words,
        [this, done = std::move(done)](const redisReply *reply) {
            if (reply && reply->type == REDIS_REPLY_ERROR)
                replyFailed(*reply);
            const bool late =
                reply && reply->type == REDIS_REPLY_STRING && std::string_view(reply->str, reply->len) == "late";
            if (late)
                counters.countRedisError(RedisError::Late);
            done(reply && reply->type != REDIS_REPLY_ERROR && !late);
        },
        deadline->local);
}

} // namespace tarnivel::dirserver
