#pragma once
// Text on the wire and in files is Windows code page 932 (Windows-31J).
// Conversion goes through glibc's iconv "CP932" table, which maps the Windows variants
// (0x8160 <-> U+FF5E, NEC row 13, IBM extensions) and leaves control bytes alone.

#include <QByteArray>
#include <QString>

namespace tarnivel::cp932 {

// Characters code page 932 cannot hold become '?', one per character (a surrogate pair or a
// lone surrogate included). Windows look-alikes are written with their look-alike's bytes
// (U+00A5 as 0x5C, U+301C as 0x8160, U+2212 as 0x817C ...).
QByteArray encode(const QString &text);
// Invalid or truncated byte sequences become U+FFFD; the rest is kept. A lead byte followed by
// a proper trail byte that maps to nothing is one U+FFFD; any other bad byte is one U+FFFD
// by itself, so the character after it (a blank, CR LF, a marker) is still read.
QString decode(const QByteArray &bytes);

} // namespace tarnivel::cp932
