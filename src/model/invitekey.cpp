#include "model/invitekey.h"

#include "model/showntext.h"

#include <QList>
#include <QRandomGenerator>

namespace tarnivel {

namespace {

constexpr char Alphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr int GroupCharacters = 4;
// Past this many characters a text is no key whatever it holds; counting stops there.
constexpr int MaxCounted = 1000;

// Key and checksum: 20 bytes, 160 bits, exactly 32 symbols of five bits.
QByteArray withChecksum(const QByteArray &key)
{
    const quint16 crc = qChecksum(key, Qt::ChecksumIso3309);
    return key + char(crc >> 8) + char(crc & 0xff);
}

std::optional<int> symbolValue(QChar c)
{
    switch (c.unicode()) {
    case u'I':
    case u'L':
        return 1;
    case u'O':
        return 0;
    default:
        break;
    }
    for (int v = 0; v < 32; ++v) {
        if (c == QLatin1Char(Alphabet[v]))
            return v;
    }
    return std::nullopt;
}

bool isIgnored(QChar c)
{
    // Hyphens and dashes of every width, and the prolonged-sound mark an IME may put for one.
    return c.isSpace() || c == u'-' || (c.unicode() >= 0x2010 && c.unicode() <= 0x2015) || c == u'\x2212'
        || c == u'\x30FC' || c == u'\xFF70';
}

} // namespace

QByteArray newInviteKey()
{
    QByteArray key(InviteKeyBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(key.begin(), key.end());
    return key;
}

QString inviteKeyText(const QByteArray &key)
{
    const QByteArray bytes = withChecksum(key);
    QString text;
    quint32 bits = 0;
    int held = 0;
    for (const char byte : bytes) {
        bits = (bits << 8) | quint8(byte);
        held += 8;
        while (held >= 5) {
            held -= 5;
            if (!text.isEmpty() && (text.size() + 1) % (GroupCharacters + 1) == 0)
                text += u'-';
            text += QLatin1Char(Alphabet[(bits >> held) & 31]);
        }
    }
    return text;
}

InviteKeyRead readInviteKeyText(const QString &text)
{
    InviteKeyRead read;
    // Full-width letters and digits (an IME's) become their plain forms.
    const QString plain = text.left(MaxCounted * 4).normalized(QString::NormalizationForm_KC).toUpper();
    QList<int> symbols;
    for (const QChar c : plain) {
        if (isIgnored(c))
            continue;
        const std::optional<int> value = symbolValue(c);
        if (!value && read.problem == InviteKeyProblem::None) {
            read.problem = InviteKeyProblem::BadCharacter;
            read.badCharacter = shownText(QString(c));
        }
        if (symbols.size() < MaxCounted)
            symbols.append(value.value_or(0));
    }
    if (read.problem != InviteKeyProblem::None)
        return read;
    if (symbols.isEmpty()) {
        read.problem = InviteKeyProblem::Empty;
        return read;
    }
    if (symbols.size() != InviteKeyCharacters) {
        read.problem = InviteKeyProblem::WrongLength;
        read.length = int(symbols.size());
        return read;
    }
    QByteArray bytes;
    quint32 bits = 0;
    int held = 0;
    for (const int symbol : symbols) {
        bits = (bits << 5) | quint32(symbol);
        held += 5;
        if (held >= 8) {
            held -= 8;
            bytes += char((bits >> held) & 0xff);
        }
    }
    const QByteArray key = bytes.left(InviteKeyBytes);
    if (withChecksum(key) != bytes) {
        read.problem = InviteKeyProblem::Mistyped;
        return read;
    }
    read.key = key;
    return read;
}

QString inviteKeyProblemText(const InviteKeyRead &read)
{
    switch (read.problem) {
    case InviteKeyProblem::None:
        return QString();
    case InviteKeyProblem::Empty:
        return QStringLiteral("招待キーを貼り付けてください。");
    case InviteKeyProblem::BadCharacter:
        return QStringLiteral("招待キーに使わない文字「%1」があります。").arg(read.badCharacter);
    case InviteKeyProblem::WrongLength:
        return QStringLiteral("招待キーは%1文字です（ハイフンと空白を除く）が、%2文字ありました。")
            .arg(InviteKeyCharacters)
            .arg(read.length);
    case InviteKeyProblem::Mistyped:
        return QStringLiteral("招待キーのどこかが違っています。打ち間違いがないか確かめてください。");
    }
    return QString();
}

} // namespace tarnivel
