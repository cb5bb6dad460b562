#pragma once
// The display name holds at most 16 bytes in code page 932: 16 single-byte characters or 8
// double-byte ones. A longer name can still come from the settings file; it is kept as it is.

#include <QString>

namespace tarnivel::namelimit {

inline constexpr int MaxNameBytes = 16;

// Bytes the text takes in code page 932 (a character the code page cannot hold is its one '?').
int byteCount(const QString &text);

struct NameEdit
{
    QString text;
    int cursor = 0;
};

// An edit of the name box turned `before` into `after`, leaving the cursor at `cursor` behind
// what it inserted. The inserted characters are kept as far as they fit in maxBytes; the one
// that would pass the limit and all after it are dropped (typed or pasted alike). Deleting is
// never refused.
NameEdit fitEdit(const QString &before, const QString &after, int cursor, int maxBytes = MaxNameBytes);

} // namespace tarnivel::namelimit
