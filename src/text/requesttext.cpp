#include "text/requesttext.h"

#include "text/codepage932.h"

#include <cstring>

namespace tarnivel {

namespace {

bool goesAsTyped(char16_t c)
{
    return c > 0x20 && c < 0x7F && std::strchr("\"<>\\^`{|}#", char(c)) == nullptr;
}

void appendPercent(QByteArray &out, uchar byte)
{
    static const char hex[] = "0123456789ABCDEF";
    out += '%';
    out += hex[byte >> 4];
    out += hex[byte & 0xF];
}

} // namespace

QByteArray encodeRequestText(const QString &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            if (goesAsTyped(c))
                out += char(c);
            else
                appendPercent(out, uchar(c));
            continue;
        }
        const qsizetype length =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
        for (const char byte : cp932::encode(text.mid(i, length)))
            appendPercent(out, uchar(byte));
        i += length - 1;
    }
    return out;
}

} // namespace tarnivel
