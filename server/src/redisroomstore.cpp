#include "redisroomstore.h"

#include "redisfunctions.h"

#include <hiredis/hiredis.h>

namespace tarnivel::dirserver {

namespace {

std::string roomKey(const std::string &room)
{
    return std::string(RedisKeyPrefix) + "room:" + room;
}

std::string callerKey(const std::string &key)
{
    return std::string(RedisKeyPrefix) + "caller:" + key;
}

EnterResult readEnterReply(const redisReply *reply)
{
    if (!reply || reply->type != REDIS_REPLY_ARRAY || reply->elements < 1 || reply->element[0]->type != REDIS_REPLY_STRING)
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
    return {EnterOutcome::Unavailable, {}};
}

} // namespace

RedisRoomStore::RedisRoomStore(RedisConnection &connection, ThreadCounters &counters, StoreSettings settings)
    : connection(connection), counters(counters), expiryMs(std::to_string(settings.expiry.count())),
      maxRooms(std::to_string(settings.maxRoomsPerCaller)), maxWaits(std::to_string(settings.maxWaits)),
      waitsKey(std::string(RedisKeyPrefix) + "waits")
{
}

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

void RedisRoomStore::enter(const std::string &room, StoreCaller caller, EnterHandler done)
{
    connection.command({"FCALL", RedisEnterFunction, "3", roomKey(room), callerKey(caller.key), waitsKey, caller.address,
                        room, expiryMs, maxRooms, maxWaits},
                       [this, done = std::move(done)](const redisReply *reply) {
                           if (reply && reply->type == REDIS_REPLY_ERROR)
                               replyFailed(*reply);
                           done(readEnterReply(reply));
                       });
}

// Answered only once Redis has it, so that a caller told "OK" is gone for every front end.
void RedisRoomStore::withdraw(const std::string &room, StoreCaller caller, WithdrawHandler done)
{
    connection.command({"FCALL", RedisWithdrawFunction, "3", roomKey(room), callerKey(caller.key), waitsKey,
                        caller.address, room},
                       [this, done = std::move(done)](const redisReply *reply) {
                           if (reply && reply->type == REDIS_REPLY_ERROR)
                               replyFailed(*reply);
                           done(reply && reply->type != REDIS_REPLY_ERROR);
                       });
}

} // namespace tarnivel::dirserver
