#include "text/cp932coverage.h"

#include "text/codepage932.h"

namespace tarnivel::cp932 {

QList<CharacterRun> unrepresentable(const QString &text)
{
    QList<CharacterRun> runs;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length =
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const QStringView character = QStringView(text).mid(i, length);
        // Plain ASCII is always held; anything else asks the table. The encoder writes one
        // '?' for a character it cannot hold.
        if (character.at(0).unicode() >= 0x80 && encode(character.toString()) == "?")
            runs.append({i, length});
        i += length;
    }
    return runs;
}

} // namespace tarnivel::cp932
