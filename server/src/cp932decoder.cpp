#include "cp932decoder.h"

#include <algorithm>
#include <stdexcept>

namespace tarnivel::directory {

namespace {

const iconv_t Closed = reinterpret_cast<iconv_t>(-1);

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

Cp932Decoder::Cp932Decoder() : handle(iconv_open("UTF-8", "CP932"))
{
    if (handle == Closed)
        throw std::runtime_error("this C library cannot convert code page 932 (iconv \"CP932\")");
}

Cp932Decoder::~Cp932Decoder()
{
    iconv_close(handle);
}

std::optional<std::string> Cp932Decoder::decode(std::string_view bytes)
{
    // CP932 keeps ASCII as it is (0x5C stays a backslash), so most names need no table.
    if (isAscii(bytes))
        return std::string(bytes);

    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    // One byte of CP932 (half-width katakana) grows to at most three bytes of UTF-8.
    std::string text(bytes.size() * 3, '\0');
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = bytes.size();
    char *out = text.data();
    size_t outLeft = text.size();
    if (iconv(handle, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1))
        return std::nullopt;
    text.resize(text.size() - outLeft);
    return text;
}

} // namespace tarnivel::directory
