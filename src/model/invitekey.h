#pragma once
// The invite key as people pass it on: 144 random bits and a CRC-16 of them, written as 32
// characters of Crockford's base32 (no I, L, O or U, so nothing reads as something else) in
// eight groups of four, "7K3M-Q9TB-...". Reading ignores case, blanks and hyphens, takes
// full-width characters as their plain forms and I, L, O as 1, 1, 0; the CRC catches any
// one mistyped character (and any two side by side).

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarnivel {

inline constexpr int InviteKeyBytes = 18;
inline constexpr int InviteKeyCharacters = 32;

enum class InviteKeyProblem {
    None,
    Empty,
    BadCharacter, // a character base32 does not use
    WrongLength,  // not 32 characters once blanks and hyphens are gone
    Mistyped,     // the checksum does not match
};

struct InviteKeyRead
{
    std::optional<QByteArray> key; // InviteKeyBytes bytes when the text is a key
    InviteKeyProblem problem = InviteKeyProblem::None;
    QString badCharacter; // the first one, for BadCharacter
    int length = 0;       // characters counted, for WrongLength
};

// A new key from the system's random source.
[[nodiscard]] QByteArray newInviteKey();
// The text of a key of InviteKeyBytes bytes.
[[nodiscard]] QString inviteKeyText(const QByteArray &key);
[[nodiscard]] InviteKeyRead readInviteKeyText(const QString &text);
// What the user is told about a text that is not a key.
[[nodiscard]] QString inviteKeyProblemText(const InviteKeyRead &read);

} // namespace tarnivel
