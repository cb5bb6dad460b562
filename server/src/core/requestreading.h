#pragma once

#include "network.h"
#include "reply.h"

#include <boost/beast/http/verb.hpp>

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace tarnivel::dirserver {

// Longest request target (answered 414 beyond).
inline constexpr std::size_t MaxTargetBytes = 16 * 1024;

// What a request asks for, by its path ("/myip", "/healthz", "/metrics", "/reach"; any other
// path is a room, left by a query that ends in "+quit").
enum class RequestClass { Enter, Withdraw, OwnAddress, Reach, Health, Metrics, Invalid };
inline constexpr std::size_t RequestClassCount = 7;

[[nodiscard]] std::string_view className(RequestClass kind);

// The parts of a parsed request head that decide who asks and what.
struct RequestHead
{
    boost::beast::http::verb method = boost::beast::http::verb::get;
    std::string_view target;
    std::size_t forwardedForFields = 0; // how many X-Forwarded-For fields came
    std::string_view forwardedFor;      // the first one's value
};

struct RequestReading
{
    Address caller;         // the TCP peer, or the address a trusted proxy forwarded
    bool forwarded = false; // caller came from a trusted proxy's X-Forwarded-For
    RequestClass kind = RequestClass::Invalid;
    std::string_view rawQuery;    // after the first '?', "+quit" still on
    std::optional<Reply> refusal; // answered instead, once the rate limit has let it through
    bool keepAliveAfterRefusal = false;
};

// Bytes in, decision out; no sockets, no state. The caller comes first, so that the rate
// limit can be charged to it before any refusal is answered:
//  - from a peer in trustedProxies, X-Forwarded-For names the caller: the last address in it
//    that is not itself a trusted proxy (so a client's own claims, put in front by a proxy
//    that appends, are passed over). A missing or unreadable address is 400.
//  - from anyone else the header is ignored and the caller is the peer.
//  - with trusted proxies set, a request carrying X-Forwarded-For twice is 400.
// Then a method other than GET is 405 (the connection may stay open) and a target over
// MaxTargetBytes is 414.
[[nodiscard]] RequestReading readRequest(const RequestHead &head, const Address &peer,
                                         const std::vector<Network> &trustedProxies);

// The caller named by an X-Forwarded-For value from a trusted proxy (rule above).
[[nodiscard]] std::optional<Address> forwardedCaller(std::string_view forwardedFor,
                                                     const std::vector<Network> &trustedProxies);

} // namespace tarnivel::dirserver
