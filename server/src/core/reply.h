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

// Refusals: the reason, ": " and what it means. Copies read every body of 1 to 20 characters
// that is not "NotFound" or "NoUser" as the waiting partner's address, whatever the status,
// and dial it; a body longer than that they report as a server error. So every refusal is
// longer than 20 characters (ASCII, so as many characters in code page 932). The access log
// writes only the reason.
inline constexpr std::string_view BadRequest = "BadRequest: not a readable HTTP request";                    // 400
inline constexpr std::string_view NoForwardedAddress = "NoForwardedAddress: the proxy named no caller";      // 400
inline constexpr std::string_view RepeatedForwardedFor = "RepeatedForwardedFor: X-Forwarded-For came twice"; // 400
inline constexpr std::string_view Forbidden = "Forbidden: not for this address";                             // 403
inline constexpr std::string_view MethodNotAllowed = "MethodNotAllowed: only GET is answered";               // 405
inline constexpr std::string_view PayloadTooLarge = "PayloadTooLarge: a request has no body here";           // 413
inline constexpr std::string_view UriTooLong = "URITooLong: the request target is over 16 KiB";              // 414
inline constexpr std::string_view HeaderTooLarge = "RequestHeaderFieldsTooLarge: the head is over 32 KiB";   // 431
inline constexpr std::string_view TooManyRooms = "TooManyRooms: waiting in too many rooms already";          // 429
inline constexpr std::string_view TooManyRequests = "TooManyRequests: too many requests, try again later";   // 429
inline constexpr std::string_view TooManyConnections = "TooManyConnections: too many open connections";      // 429
inline constexpr std::string_view TooManyChecks = "TooManyChecks: one check a minute";                       // 429
inline constexpr std::string_view Unavailable = "Unavailable: nothing was changed, try again later";         // 503
inline constexpr std::string_view Busy = "Busy: the server is full, try again later";                        // 503
inline constexpr std::string_view TooManyWaits = "TooManyWaits: the directory is full";                      // 503
inline constexpr std::string_view Draining = "Draining: the server is stopping";                             // 503
} // namespace replies

// What the access log writes of an answer's body: a refusal's reason alone.
[[nodiscard]] inline std::string_view loggedBody(unsigned status, std::string_view body)
{
    return status >= 400 ? body.substr(0, body.find(':')) : body;
}

} // namespace tarnivel::dirserver
