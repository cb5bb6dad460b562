#include "cp932codec.h"

#include <algorithm>
#include <stdexcept>

namespace tarnivel::dirserver {

namespace {

const iconv_t Closed = reinterpret_cast<iconv_t>(-1);

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::optional<std::string> convert(iconv_t handle, std::string_view bytes, std::size_t growth)
{
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    std::string text(bytes.size() * growth, '\0');
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = bytes.size();
    char *out = text.data();
    size_t outLeft = text.size();
    if (iconv(handle, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    text.resize(text.size() - outLeft);
    return text;
}

} // namespace

Cp932Codec::Cp932Codec() : toUtf8(iconv_open("UTF-8", "CP932")), toCp932(iconv_open("CP932", "UTF-8"))
{
    if (toUtf8 == Closed || toCp932 == Closed) {
        if (toUtf8 != Closed)
            iconv_close(toUtf8);
        if (toCp932 != Closed)
            iconv_close(toCp932);
        throw std::runtime_error("this C library cannot convert code page 932 (iconv \"CP932\")");
    }
}

Cp932Codec::~Cp932Codec()
{
    iconv_close(toUtf8);
    iconv_close(toCp932);
}

std::optional<std::string> Cp932Codec::decode(std::string_view bytes)
{
    // CP932 keeps ASCII as it is (0x5C stays a backslash), so most names need no table.
    if (isAscii(bytes))
        return std::string(bytes);
    // One byte of CP932 (half-width katakana) grows to at most three bytes of UTF-8.
    return convert(toUtf8, bytes, 3);
}

std::optional<std::string> Cp932Codec::encode(std::string_view text)
{
    if (isAscii(text))
        return std::string(text);
    // No character takes more bytes in code page 932 than in UTF-8.
    return convert(toCp932, text, 1);
}

bool Cp932Codec::roundTrips(std::string_view text)
{
    const auto bytes = encode(text);
    if (!bytes)
        return false;
    const auto back = decode(*bytes);
    return back && *back == text;
}

} // namespace tarnivel::dirserver
