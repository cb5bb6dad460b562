#pragma once
// Which characters of a text code page 932 cannot hold: those arrive at the other end as "?".
// Uses the same iconv table as the conversion on the wire (codepage932.h).

#include <QList>
#include <QString>

namespace tarnivel::cp932 {

// One character of a text: where it starts and how many UTF-16 units it takes (2 for a
// surrogate pair such as an emoji).
struct CharacterRun
{
    qsizetype start = 0;
    qsizetype length = 1;
    friend bool operator==(const CharacterRun &, const CharacterRun &) = default;
};

// The characters of text that code page 932 cannot hold, in order. '?' itself is held.
QList<CharacterRun> unrepresentable(const QString &text);

} // namespace tarnivel::cp932
