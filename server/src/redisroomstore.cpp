#include "redisroomstore.h"

#include "notice.h"
#include "redisasio.h"
#include "redisfunctions.h"

#include <hiredis/async.h>
#include <hiredis/hiredis.h>

#include <array>
#include <memory>
#include <utility>

namespace tarnivel::directory {

namespace {

constexpr auto RetryDelay = std::chrono::seconds(1);

std::string roomKey(const std::string &room)
{
    return "tarnivel:room:" + room;
}

std::string callerKey(const std::string &caller)
{
    return "tarnivel:caller:" + caller;
}

RedisRoomStore *storeOf(const redisAsyncContext *context)
{
    return static_cast<RedisRoomStore *>(context->data);
}

template <std::size_t N>
int sendCommand(redisAsyncContext *context, redisCallbackFn *callback, void *data, const std::array<std::string_view, N> &args)
{
    std::array<const char *, N> values;
    std::array<size_t, N> lengths;
    for (std::size_t i = 0; i < N; ++i) {
        values[i] = args[i].data();
        lengths[i] = args[i].size();
    }
    return redisAsyncCommandArgv(context, callback, data, int(N), values.data(), lengths.data());
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
    if (kind == "found" && reply->elements == 2 && reply->element[1]->type == REDIS_REPLY_STRING)
        return {EnterOutcome::Found, std::string(reply->element[1]->str, reply->element[1]->len)};
    return {EnterOutcome::Unavailable, {}};
}

} // namespace

RedisRoomStore::RedisRoomStore(boost::asio::io_context &io, std::string host, std::uint16_t port, StoreSettings settings)
    : io(io), retry(io), host(std::move(host)), port(port), settings(settings),
      expiryMs(std::to_string(settings.expiry.count())), maxRooms(std::to_string(settings.maxRoomsPerCaller))
{
}

RedisRoomStore::~RedisRoomStore()
{
    if (context) {
        // Freeing answers every pending request as unavailable; no reconnecting from here on.
        context->data = nullptr;
        redisAsyncFree(context);
    }
}

void RedisRoomStore::start(ReadyHandler ready)
{
    whenReady = std::move(ready);
    connect();
}

void RedisRoomStore::connect()
{
    context = redisAsyncConnect(host.c_str(), port);
    if (!context || context->err) {
        const std::string why = context ? context->errstr : "out of memory";
        if (context)
            redisAsyncFree(context);
        context = nullptr;
        lost(why);
        return;
    }
    context->data = this;
    attachToAsio(context, io);
    redisAsyncSetConnectCallback(context, &RedisRoomStore::onConnect);
    redisAsyncSetDisconnectCallback(context, &RedisRoomStore::onDisconnect);
    // Loaded on every connection: the Redis server may have restarted empty. Requests sent
    // meanwhile queue behind it on the same connection.
    sendCommand<4>(context, &RedisRoomStore::onLibraryLoaded, nullptr,
                   {"FUNCTION", "LOAD", "REPLACE", RedisFunctionLibrary});
}

void RedisRoomStore::onConnect(const redisAsyncContext *context, int status)
{
    auto *store = storeOf(context);
    if (status != REDIS_OK && store) {
        // hiredis frees a context that failed to connect once this returns.
        store->context = nullptr;
        store->lost(context->errstr);
    }
}

void RedisRoomStore::onDisconnect(const redisAsyncContext *context, int status)
{
    auto *store = storeOf(context);
    if (!store)
        return;
    store->context = nullptr;
    store->lost(status == REDIS_OK ? "connection closed" : context->errstr);
}

void RedisRoomStore::onLibraryLoaded(redisAsyncContext *context, void *reply, void *)
{
    auto *store = storeOf(context);
    if (!store)
        return;
    const auto *answer = static_cast<const redisReply *>(reply);
    if (!answer)
        return; // the connection is going; onDisconnect tells
    if (answer->type == REDIS_REPLY_ERROR) {
        notice("redis refused the directory functions (Redis 7 or later is needed): " +
               std::string(answer->str, answer->len));
        redisAsyncDisconnect(context);
        return;
    }
    notice("using redis at " + store->host + ":" + std::to_string(store->port));
    store->down = false;
    if (auto ready = std::exchange(store->whenReady, nullptr))
        ready();
}

void RedisRoomStore::lost(std::string_view why)
{
    // Said once per outage, not on every retry.
    if (!down)
        notice("redis at " + host + ":" + std::to_string(port) + " unavailable (" + std::string(why) +
               "), retrying every second");
    down = true;
    retry.expires_after(RetryDelay);
    retry.async_wait([this](const boost::system::error_code &error) {
        if (!error)
            connect();
    });
}

void RedisRoomStore::enter(const std::string &room, const std::string &caller, EnterHandler done)
{
    if (!context) {
        done({EnterOutcome::Unavailable, {}});
        return;
    }
    auto handler = std::make_unique<EnterHandler>(std::move(done));
    const auto sent = sendCommand<9>(context, &RedisRoomStore::onEntered, handler.get(),
                                     {"FCALL", "tarnivel_enter", "2", roomKey(room), callerKey(caller), caller, room,
                                      expiryMs, maxRooms});
    if (sent == REDIS_OK)
        handler.release(); // onEntered owns it now
    else
        (*handler)({EnterOutcome::Unavailable, {}});
}

void RedisRoomStore::onEntered(redisAsyncContext *context, void *reply, void *handler)
{
    const std::unique_ptr<EnterHandler> done(static_cast<EnterHandler *>(handler));
    if (!storeOf(context))
        return; // the store is going away with the server
    (*done)(readEnterReply(static_cast<const redisReply *>(reply)));
}

// Answered only once Redis has it, so that a caller told "OK" is gone for every front end.
void RedisRoomStore::withdraw(const std::string &room, const std::string &caller, WithdrawHandler done)
{
    if (!context) {
        done(false);
        return;
    }
    auto handler = std::make_unique<WithdrawHandler>(std::move(done));
    const auto sent = sendCommand<7>(context, &RedisRoomStore::onWithdrawn, handler.get(),
                                     {"FCALL", "tarnivel_withdraw", "2", roomKey(room), callerKey(caller), caller, room});
    if (sent == REDIS_OK)
        handler.release();
    else
        (*handler)(false);
}

void RedisRoomStore::onWithdrawn(redisAsyncContext *context, void *reply, void *handler)
{
    const std::unique_ptr<WithdrawHandler> done(static_cast<WithdrawHandler *>(handler));
    if (!storeOf(context))
        return;
    const auto *answer = static_cast<const redisReply *>(reply);
    (*done)(answer && answer->type != REDIS_REPLY_ERROR);
}

} // namespace tarnivel::directory
