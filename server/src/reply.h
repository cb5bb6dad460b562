#pragma once

#include <string>
#include <string_view>

namespace tarnivel::dirserver {

// Every answer is text/plain without a trailing newline (the metrics page aside).
struct Reply
{
    unsigned status = 200;
    std::string body;
};

namespace replies {
// What the program's copies read (status 200).
inline constexpr std::string_view NotFound = "NotFound";
inline constexpr std::string_view NoUser = "NoUser";
inline constexpr std::string_view Withdrawn = "OK";
// The reachability check (status 200).
inline constexpr std::string_view Open = "Open";
inline constexpr std::string_view Closed = "Closed";
// Refusals, for people reading logs; copies only see that the status is not 200.
inline constexpr std::string_view BadRequest = "BadRequest";                         // 400
inline constexpr std::string_view NoForwardedAddress = "NoForwardedAddress";         // 400
inline constexpr std::string_view RepeatedForwardedFor = "RepeatedForwardedFor";     // 400
inline constexpr std::string_view Forbidden = "Forbidden";                           // 403
inline constexpr std::string_view MethodNotAllowed = "MethodNotAllowed";             // 405
inline constexpr std::string_view PayloadTooLarge = "PayloadTooLarge";               // 413
inline constexpr std::string_view UriTooLong = "URITooLong";                         // 414
inline constexpr std::string_view HeaderTooLarge = "RequestHeaderFieldsTooLarge";    // 431
inline constexpr std::string_view TooManyRooms = "TooManyRooms";                     // 429
inline constexpr std::string_view TooManyRequests = "TooManyRequests";               // 429
inline constexpr std::string_view TooManyConnections = "TooManyConnections";         // 429
inline constexpr std::string_view TooManyChecks = "TooManyChecks";                   // 429
inline constexpr std::string_view Unavailable = "Unavailable";                       // 503
inline constexpr std::string_view Busy = "Busy";                                     // 503
inline constexpr std::string_view TooManyWaits = "TooManyWaits";                     // 503
inline constexpr std::string_view Draining = "Draining";                             // 503
} // namespace replies

} // namespace tarnivel::dirserver
