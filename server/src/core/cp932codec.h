#pragma once

#include <iconv.h>
#include <optional>
#include <string>
#include <string_view>

namespace tarnivel::dirserver {

// Code page 932 bytes to UTF-8 text and back, with glibc's "CP932" tables. Unlike the
// chat program's conversion, which replaces what it cannot convert, this refuses the whole
// text. One conversion descriptor serves every call in each direction: CP932 has no shift
// state, and each call resets the descriptor first. Not for use by two threads at once
// (each worker has its own).
class Cp932Codec
{
public:
    Cp932Codec();
    ~Cp932Codec();
    Cp932Codec(const Cp932Codec &) = delete;
    Cp932Codec &operator=(const Cp932Codec &) = delete;

    // Nothing when the bytes are not code page 932 (a lead byte without its trail byte, or a
    // code the table does not have).
    [[nodiscard]] std::optional<std::string> decode(std::string_view bytes);
    // Nothing when the text is not UTF-8 or holds a character code page 932 cannot write.
    [[nodiscard]] std::optional<std::string> encode(std::string_view text);

    // A room name copies can ask for: it is written in code page 932 and reads back as itself
    // (U+301C WAVE DASH, for one, is not: the copies' 〜 arrives as U+FF5E).
    [[nodiscard]] bool roundTrips(std::string_view text);

private:
    iconv_t toUtf8;
    iconv_t toCp932;
};

} // namespace tarnivel::dirserver
