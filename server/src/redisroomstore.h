#pragma once

#include "roomstore.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cstdint>

struct redisAsyncContext;

namespace tarnivel::directory {

// Rooms held in a Redis server (7 or later) shared by several front ends. One pipelined
// connection carries every request; when it drops, requests are answered as unavailable
// until it is back.
class RedisRoomStore final : public RoomStore
{
public:
    RedisRoomStore(boost::asio::io_context &io, std::string host, std::uint16_t port, StoreSettings settings);
    ~RedisRoomStore() override;
    RedisRoomStore(const RedisRoomStore &) = delete;
    RedisRoomStore &operator=(const RedisRoomStore &) = delete;

    void start(ReadyHandler ready) override;
    void enter(const std::string &room, const std::string &caller, EnterHandler done) override;
    void withdraw(const std::string &room, const std::string &caller, WithdrawHandler done) override;

private:
    static void onConnect(const redisAsyncContext *context, int status);
    static void onDisconnect(const redisAsyncContext *context, int status);
    static void onLibraryLoaded(redisAsyncContext *context, void *reply, void *);
    static void onEntered(redisAsyncContext *context, void *reply, void *handler);
    static void onWithdrawn(redisAsyncContext *context, void *reply, void *handler);

    void connect();
    void lost(std::string_view why);

    boost::asio::io_context &io;
    boost::asio::steady_timer retry;
    std::string host;
    std::uint16_t port;
    StoreSettings settings;
    std::string expiryMs;
    std::string maxRooms;
    redisAsyncContext *context = nullptr;
    ReadyHandler whenReady;
    bool down = false;
};

} // namespace tarnivel::directory
