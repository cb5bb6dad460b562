#include "model/namelimit.h"

#include "text/codepage932.h"

#include <algorithm>

namespace tarnivel::namelimit {

int byteCount(const QString &text)
{
    return int(cp932::encode(text).size());
}

NameEdit fitEdit(const QString &before, const QString &after, int cursor, int maxBytes)
{
    if (byteCount(after) <= maxBytes)
        return {after, cursor};

    // What stands behind the cursor was there before, and so was the common start; the
    // characters between them are the ones just inserted.
    const qsizetype afterCursor = std::clamp<qsizetype>(after.size() - cursor, 0, after.size());
    qsizetype suffix = 0;
    while (suffix < afterCursor && suffix < before.size()
           && after.at(after.size() - 1 - suffix) == before.at(before.size() - 1 - suffix))
        ++suffix;
    qsizetype prefix = 0;
    const qsizetype prefixLimit = std::min(before.size(), after.size()) - suffix;
    while (prefix < prefixLimit && after.at(prefix) == before.at(prefix))
        ++prefix;

    const QString inserted = after.mid(prefix, after.size() - suffix - prefix);
    const QString head = after.left(prefix);
    const QString tail = after.right(suffix);
    int budget = maxBytes - byteCount(head + tail);

    qsizetype kept = 0;
    while (kept < inserted.size()) {
        // A surrogate pair is one character.
        const qsizetype width = inserted.at(kept).isHighSurrogate() && kept + 1 < inserted.size() ? 2 : 1;
        const int bytes = byteCount(inserted.mid(kept, width));
        if (bytes > budget)
            break;
        budget -= bytes;
        kept += width;
    }
    return {head + inserted.left(kept) + tail, int(prefix + kept)};
}

} // namespace tarnivel::namelimit
