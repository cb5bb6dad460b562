#pragma once

#include <string_view>

namespace tarnivel::directory {

// Room state in Redis, changed only by these functions so that every front end sees one
// consistent directory. Keys: KEYS[1] "tarnivel:room:<room>" holds the waiting address and
// expires with the wait; KEYS[2] "tarnivel:caller:<address>" is a sorted set of the rooms
// the address waits in, scored by when each wait ends, so it can be counted without a sweep.
// Times come from the Redis server's clock, shared by all front ends.
inline constexpr std::string_view RedisFunctionLibrary = R"lua(#!lua name=tarnivel_directory
local function now_ms()
  local t = redis.call('TIME')
  return tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
end

-- ARGV: caller address, room, wait in milliseconds, most rooms per caller
redis.register_function('tarnivel_enter', function(keys, args)
  local waiter = redis.call('GET', keys[1])
  if waiter and waiter ~= args[1] then
    return {'found', waiter}
  end
  local now = now_ms()
  local expiry = tonumber(args[3])
  redis.call('ZREMRANGEBYSCORE', keys[2], '-inf', now)
  if not waiter and redis.call('ZCARD', keys[2]) >= tonumber(args[4]) then
    return {'full'}
  end
  redis.call('SET', keys[1], args[1], 'PX', expiry)
  redis.call('ZADD', keys[2], now + expiry, args[2])
  redis.call('PEXPIRE', keys[2], expiry)
  return {'waiting'}
end)

-- ARGV: caller address, room
redis.register_function('tarnivel_withdraw', function(keys, args)
  if redis.call('GET', keys[1]) == args[1] then
    redis.call('DEL', keys[1])
  end
  redis.call('ZREM', keys[2], args[2])
  return 'ok'
end)
)lua";

} // namespace tarnivel::directory
