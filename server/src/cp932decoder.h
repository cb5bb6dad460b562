#pragma once

#include <iconv.h>
#include <optional>
#include <string>
#include <string_view>

namespace tarnivel::directory {

// Turns code page 932 bytes into UTF-8 text with glibc's "CP932" tables. One conversion
// descriptor serves every call; CP932 has no shift state, so nothing carries over.
class Cp932Decoder
{
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder &) = delete;
    Cp932Decoder &operator=(const Cp932Decoder &) = delete;

    // Nothing when the bytes are not code page 932 (a lead byte without its trail byte, or a
    // code the table does not have).
    [[nodiscard]] std::optional<std::string> decode(std::string_view bytes);

private:
    iconv_t handle;
};

} // namespace tarnivel::directory
