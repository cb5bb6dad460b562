#pragma once
// A member of the chat as the rest of the program sees it: one connected chat socket,
// named by the member's greeting.

#include "model/showntext.h"

#include <QString>

namespace tarnivel {

// Accepted: the member dialled our chat port. Dialled: we dialled the member's.
enum class ConnectionSide { Accepted, Dialled };

struct MemberId
{
    ConnectionSide side = ConnectionSide::Accepted;
    int slot = 0;
    friend bool operator==(const MemberId &, const MemberId &) = default;
};

// A name as lists, status lines and titles show it: as shownText shows text from outside,
// and cut short. Copies let their users choose at most 16 bytes, so a longer name comes from
// a broken or hostile peer: it is cut to its first 32 characters and "…", which keeps the
// window responsive. The wire keeps the name whole.
inline QString displayName(const QString &name)
{
    constexpr qsizetype Shown = 32;
    if (name.size() <= Shown)
        return shownText(name);
    const qsizetype cut = name.at(Shown - 1).isHighSurrogate() ? Shown - 1 : Shown;
    return shownText(name.left(cut)) + QChar(0x2026);
}

struct Member
{
    MemberId id;
    QString name; // as shown (see displayName)
    QString address;
};

} // namespace tarnivel
