#pragma once

#include <boost/asio/io_context.hpp>

struct redisAsyncContext;

namespace tarnivel::directory {

// Lets hiredis wait for its socket on an Asio io_context, the way hiredis' own adapters do for
// libevent and friends. Called once, right after redisAsyncConnect.
void attachToAsio(redisAsyncContext *context, boost::asio::io_context &io);

} // namespace tarnivel::directory
