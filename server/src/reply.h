#pragma once

#include <string>
#include <string_view>

namespace tarnivel::directory {

// Every answer is text/plain without a trailing newline.
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
// Refusals, for people reading logs; copies only see that the status is not 200.
inline constexpr std::string_view TooManyRooms = "TooManyRooms";             // 429
inline constexpr std::string_view TooManyRequests = "TooManyRequests";       // 429
inline constexpr std::string_view TooManyConnections = "TooManyConnections"; // 429
inline constexpr std::string_view Unavailable = "Unavailable";               // 503
} // namespace replies

} // namespace tarnivel::directory
