#pragma once

#include "cp932codec.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarnivel::dirserver {

// Longest room name, in bytes of UTF-8. Longer names never exist, even with --open.
inline constexpr std::size_t MaxRoomNameBytes = 255;

// Ends a query that leaves the room instead of entering it.
inline constexpr std::string_view QuitSuffix = "+quit";

// What a query asks of a room: "?<room>" enters it, "?<room>+quit" leaves it.
struct RoomQuery
{
    std::optional<std::string> room; // UTF-8; nothing when no room can have this name
    bool withdraw = false;
};

// Reads the query part of a request target as copies of the program send it: code page 932
// bytes, raw or percent-encoded ("%20" is a blank; "+", "&" and "?" are part of the name).
// A '%' not followed by two hex digits is kept as it is. A name is impossible when it is empty,
// too long, not code page 932, or holds control characters.
[[nodiscard]] RoomQuery readRoomQuery(std::string_view rawQuery, Cp932Codec &codec);

// "%XY" becomes the byte XY; anything else, a stray '%' included, stays as it is.
[[nodiscard]] std::string percentDecode(std::string_view text);

} // namespace tarnivel::dirserver
