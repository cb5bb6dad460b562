#pragma once
// Text on the wire and in files is Windows code page 932 (Windows-31J).
// Conversion goes through glibc's iconv "CP932" table, which maps the Windows variants
// (0x8160 <-> U+FF5E, NEC row 13, IBM extensions) and leaves control bytes alone.

#include <QByteArray>
#include <QString>

namespace tarnivel::cp932 {

// Characters code page 932 cannot hold become '?'.
QByteArray encode(const QString &text);
// Invalid or truncated byte sequences become U+FFFD; the rest is kept.
QString decode(const QByteArray &bytes);

} // namespace tarnivel::cp932
