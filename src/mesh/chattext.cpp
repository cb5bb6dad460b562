#include "mesh/chattext.h"

namespace tarnivel {

namespace {

bool isLeadByte(uchar byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

} // namespace

qsizetype wholeCharactersLength(const QByteArray &bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = isLeadByte(uchar(bytes[i])) ? 2 : 1;
        if (i + length > bytes.size())
            return i;
        i += length;
    }
    return i;
}

QByteArray ChatTextAssembly::add(const QByteArray &arrival)
{
    const QByteArray text = m_held.isEmpty() ? arrival : m_held + arrival;
    const qsizetype lineEnd = text.lastIndexOf("\r\n");
    qsizetype ready = lineEnd < 0 ? 0 : lineEnd + 2;
    if (text.size() - ready > MaxHeldBytes)
        ready += wholeCharactersLength(text.sliced(ready));
    m_held = text.sliced(ready);
    return ready == text.size() ? text : text.first(ready);
}

QByteArray ChatTextAssembly::takeHeld()
{
    return std::exchange(m_held, {});
}

} // namespace tarnivel
