#include "roomquery.h"

#include <algorithm>

namespace tarnivel::dirserver {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool hasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

} // namespace

std::string percentDecode(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            bytes.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            bytes.push_back(text[i]);
        }
    }
    return bytes;
}

RoomQuery readRoomQuery(std::string_view rawQuery, Cp932Codec &codec)
{
    RoomQuery query;
    // Only the end of the raw query can say "leave": a room may itself contain "+quit" inside,
    // and an escaped "%2Bquit" belongs to the name.
    if (rawQuery.ends_with(QuitSuffix)) {
        query.withdraw = true;
        rawQuery.remove_suffix(QuitSuffix.size());
    }
    // Escapes at most shrink the name, so this bounds the work before any conversion.
    if (rawQuery.empty() || rawQuery.size() > MaxRoomNameBytes * 3)
        return query;
    auto name = codec.decode(percentDecode(rawQuery));
    if (name && !name->empty() && name->size() <= MaxRoomNameBytes && !hasControlCharacter(*name))
        query.room = std::move(name);
    return query;
}

} // namespace tarnivel::dirserver
