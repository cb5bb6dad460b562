#pragma once

#include <string_view>

namespace tarnivel::dirserver {

// Room state in Redis, changed only by these functions so that every front end sees one
// consistent directory. Times come from the Redis server's clock, shared by all front ends.
//
// Keys all carry the hash tag {tarnivel}, so they lie in one Redis Cluster slot and one
// function may touch them together:
//   KEYS[1] tarnivel:{tarnivel}:room:<room>     the waiting address; expires with the wait
//   KEYS[2] tarnivel:{tarnivel}:caller:<key>    sorted set of the rooms one caller (an IPv4
//                                               address or IPv6 /64) waits in, scored by when
//                                               each wait ends, so it is counted without a sweep
//   KEYS[3] tarnivel:{tarnivel}:waits           every wait, scored the same way, for --max-waits
//
// Versioned: each version is its own library with its own function names, loaded without
// REPLACE. A front end never replaces the library of another version, older or newer, so
// front ends of two versions can share a Redis server while one is upgraded; a version's
// code never changes once released (change it, and the number goes up).
inline constexpr std::string_view RedisLibraryName = "tarnivel_directory_2";
inline constexpr std::string_view RedisEnterFunction = "tarnivel_enter_2";
inline constexpr std::string_view RedisWithdrawFunction = "tarnivel_withdraw_2";
inline constexpr std::string_view RedisKeyPrefix = "tarnivel:{tarnivel}:";

inline constexpr std::string_view RedisFunctionLibrary = R"lua(#!lua name=tarnivel_directory_2
local function now_ms()
  local t = redis.call('TIME')
  return tonumber(t[1]) * 1000 + math.floor(tonumber(t[2]) / 1000)
end

-- ARGV: caller address, room, wait in milliseconds, most rooms per caller, most waits in all
redis.register_function('tarnivel_enter_2', function(keys, args)
  local waiter = redis.call('GET', keys[1])
  if waiter and waiter ~= args[1] then
    return {'found', waiter}
  end
  local now = now_ms()
  local expiry = tonumber(args[3])
  if not waiter then
    redis.call('ZREMRANGEBYSCORE', keys[3], '-inf', now)
    if redis.call('ZCARD', keys[3]) >= tonumber(args[5]) then
      return {'busy'}
    end
    redis.call('ZREMRANGEBYSCORE', keys[2], '-inf', now)
    if redis.call('ZCARD', keys[2]) >= tonumber(args[4]) then
      return {'full'}
    end
  end
  redis.call('SET', keys[1], args[1], 'PX', expiry)
  redis.call('ZADD', keys[2], now + expiry, args[2])
  redis.call('PEXPIRE', keys[2], expiry)
  redis.call('ZADD', keys[3], now + expiry, args[2])
  redis.call('PEXPIRE', keys[3], expiry)
  return {'waiting'}
end)

-- ARGV: caller address, room. Another address of the same /64 changes nothing.
redis.register_function('tarnivel_withdraw_2', function(keys, args)
  if redis.call('GET', keys[1]) == args[1] then
    redis.call('DEL', keys[1])
    redis.call('ZREM', keys[2], args[2])
    redis.call('ZREM', keys[3], args[2])
  end
  return 'ok'
end)
)lua";

} // namespace tarnivel::dirserver
