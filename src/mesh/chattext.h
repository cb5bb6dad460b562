#pragma once
// Chat text as TCP delivers it: in pieces that need not end where a line (or even a code
// page 932 character) ends. Whole lines, up to the last CR LF, are shown at once; a piece
// that ends inside a line is held a moment for the rest, so a line split across two reads
// is shown whole. Two lines in one read are still shown as one piece.

#include <QByteArray>

namespace tarnivel {

// Length of the longest prefix of code page 932 bytes that ends on a character boundary:
// all of them, unless they end in a lead byte whose trail byte has not come yet.
qsizetype wholeCharactersLength(const QByteArray &bytes);

class ChatTextAssembly
{
public:
    // Held text beyond this is shown without waiting for its line to end.
    static constexpr qsizetype MaxHeldBytes = 64 * 1024;

    // Adds an arrival; returns what can be shown now (empty when everything waits).
    [[nodiscard]] QByteArray add(const QByteArray &arrival);
    // Everything held, now that nothing more is waited for.
    [[nodiscard]] QByteArray takeHeld();
    bool holding() const { return !m_held.isEmpty(); }

private:
    QByteArray m_held;
};

} // namespace tarnivel
