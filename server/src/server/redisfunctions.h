#pragma once

#include <string_view>

namespace tarnivel::dirserver {

// Room state in Redis, changed only by these functions so that every front end sees one
// consistent directory. Times come from the Redis server's clock, shared by all front ends.
//
// Keys all carry the hash tag {tarnivel}, so they lie in one Redis Cluster slot and one
// function may touch them together:
//   KEYS[1]  tarnivel:{tarnivel}:room:<room>       the waiting address; expires with the wait
//   KEYS[2]  tarnivel:{tarnivel}:waits             every wait, scored by when it ends, for --max-waits
//   KEYS[3.] tarnivel:{tarnivel}:caller:<network>  sorted set of the rooms waited in from one
//                                                  network of the caller ("192.0.2.7",
//                                                  "192.0.2.0/24", "2001:db8:1:2::/64",
//                                                  "2001:db8:1::/56", ...), scored the same way,
//                                                  so they are counted without a sweep
//
// Every call carries its deadline in the Redis server's own clock: a call that runs later
// (Redis was stopped or slow, and the front end has answered 503 meanwhile) changes nothing
// and answers 'late'.
//
// Versioned: each version is its own library with its own function names, loaded without
// REPLACE. A front end never replaces the library of another version, older or newer, so
// front ends of two versions can share a Redis server while one is upgraded; a version's
// code never changes once released (change it, and the number goes up).
inline constexpr std::string_view RedisLibraryName = "tarnivel_directory_3";
inline constexpr std::string_view RedisEnterFunction = "tarnivel_enter_3";
inline constexpr std::string_view RedisWithdrawFunction = "tarnivel_withdraw_3";
inline constexpr std::string_view RedisKeyPrefix = "tarnivel:{tarnivel}:";

inline constexpr std::string_view RedisFunctionLibrary = R"lua(#!lua name=tarnivel_directory_3
local function now_ms()
  local t = redis.call('TIME')
  return tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
end

-- ARGV: caller address, room, wait in milliseconds, most waits in all, deadline (ms of this
-- server's clock), then the most rooms for each caller network of KEYS[3..]
redis.register_function('tarnivel_enter_3', function(keys, args)
  local now = now_ms()
  if now > tonumber(args[5]) then
    return {'late'}
  end
  local waiter = redis.call('GET', keys[1])
  if waiter and waiter ~= args[1] then
    return {'found', waiter}
  end
  local expiry = tonumber(args[3])
  if not waiter then
    redis.call('ZREMRANGEBYSCORE', keys[2], '-inf', now)
    if redis.call('ZCARD', keys[2]) >= tonumber(args[4]) then
      return {'busy'}
    end
    for i = 3, #keys do
      redis.call('ZREMRANGEBYSCORE', keys[i], '-inf', now)
      if redis.call('ZCARD', keys[i]) >= tonumber(args[i + 3]) then
        return {'full'}
      end
    end
  end
  redis.call('SET', keys[1], args[1], 'PX', expiry)
  for i = 2, #keys do
    redis.call('ZADD', keys[i], now + expiry, args[2])
    redis.call('PEXPIRE', keys[i], expiry)
  end
  return {'waiting'}
end)

-- ARGV: caller address, room, deadline. Another address of the same /64 changes nothing.
redis.register_function('tarnivel_withdraw_3', function(keys, args)
  if now_ms() > tonumber(args[3]) then
    return 'late'
  end
  if redis.call('GET', keys[1]) == args[1] then
    redis.call('DEL', keys[1])
    for i = 2, #keys do
      redis.call('ZREM', keys[i], args[2])
    end
  end
  return 'ok'
end)
)lua";

} // namespace tarnivel::dirserver
