#include "codepage932.h"

#include <QList>

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace tarnivel::cp932 {

namespace {

// glibc converts between its own wide characters (UCS-4) and a code page in one step; other
// routes go through it in two steps, which makes every unrepresentable character costly.
constexpr const char *Wide = "WCHAR_T";
constexpr const char *CodePage = "CP932";
constexpr char32_t Replacement = U'\uFFFD';
static_assert(sizeof(wchar_t) == sizeof(char32_t), "glibc wide characters are UCS-4");

// One conversion descriptor, opened for one call and closed with it. Code page 932 has no
// shift state, so a kept descriptor would serve as well (the directory server keeps one per
// direction); one per call needs no reset after a bad sequence and no care about threads.
class Converter
{
public:
    Converter(const char *to, const char *from) : handle(iconv_open(to, from)) {}
    ~Converter()
    {
        if (isOpen())
            iconv_close(handle);
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool isOpen() const { return handle != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; on return errno tells why it stopped (0 when done).
    void run(char *&in, size_t &inLeft, char *&out, size_t &outLeft)
    {
        errno = 0;
        if (iconv(handle, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            errno = 0;
    }

private:
    iconv_t handle;
};

bool isLeadByte(uchar b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrailByte(uchar b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// How many bytes one undecodable character spans: a lead byte with a proper trail byte is one
// unknown double-byte character; otherwise only the bad byte goes, so a following ASCII
// character (say the blank in 0x81 0x20) is still read.
size_t badSequenceLength(const uchar *at, size_t left)
{
    if (left >= 2 && isLeadByte(at[0]) && isTrailByte(at[1]))
        return 2;
    return 1;
}

// Without the conversion tables only ASCII survives.
QByteArray encodeAsciiOnly(const QList<uint> &characters)
{
    QByteArray bytes;
    bytes.reserve(characters.size());
    for (const uint c : characters)
        bytes.append(c < 0x80 ? char(c) : '?');
    return bytes;
}

QString decodeAsciiOnly(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes)
        text.append(uchar(b) < 0x80 ? QChar(uchar(b)) : QChar(char16_t(Replacement)));
    return text;
}

} // namespace

QByteArray encode(const QString &text)
{
    // One element per character: a surrogate pair is one, a lone surrogate becomes U+FFFD
    // (which code page 932 lacks, so it too ends up as one '?').
    QList<uint> characters = text.toUcs4();
    Converter converter(CodePage, Wide);
    if (!converter.isOpen())
        return encodeAsciiOnly(characters);

    // Every character yields at most two bytes.
    QByteArray bytes(characters.size() * 2, Qt::Uninitialized);
    char *in = reinterpret_cast<char *>(characters.data());
    size_t inLeft = size_t(characters.size()) * sizeof(uint);
    char *out = bytes.data();
    size_t outLeft = size_t(bytes.size());

    while (inLeft > 0) {
        converter.run(in, inLeft, out, outLeft);
        if (errno == 0)
            break;
        if (errno == E2BIG || outLeft < 1) { // not expected with the bound above, but never overrun
            const qsizetype used = out - bytes.data();
            bytes.resize(bytes.size() + qsizetype(inLeft) + 16);
            out = bytes.data() + used;
            outLeft = size_t(bytes.size() - used);
            continue;
        }
        // Not in the code page: one '?' for the character.
        *out++ = '?';
        --outLeft;
        in += sizeof(uint);
        inLeft -= sizeof(uint);
    }
    bytes.truncate(out - bytes.data());
    return bytes;
}

QString decode(const QByteArray &bytes)
{
    Converter converter(Wide, CodePage);
    if (!converter.isOpen())
        return decodeAsciiOnly(bytes);

    // Every byte yields at most one character.
    QList<char32_t> characters(bytes.size());
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *out = reinterpret_cast<char *>(characters.data());
    size_t outLeft = size_t(characters.size()) * sizeof(char32_t);

    while (inLeft > 0) {
        converter.run(in, inLeft, out, outLeft);
        if (errno == 0)
            break;
        if (errno == E2BIG || outLeft < sizeof(char32_t)) { // not expected, but never overrun
            const qsizetype used = out - reinterpret_cast<char *>(characters.data());
            characters.resize(characters.size() + qsizetype(inLeft) + 16);
            out = reinterpret_cast<char *>(characters.data()) + used;
            outLeft = size_t(characters.size()) * sizeof(char32_t) - size_t(used);
            continue;
        }
        // EILSEQ: an invalid sequence; EINVAL: a lead byte cut off at the end.
        const size_t skip = badSequenceLength(reinterpret_cast<const uchar *>(in), inLeft);
        std::memcpy(out, &Replacement, sizeof Replacement);
        out += sizeof(char32_t);
        outLeft -= sizeof(char32_t);
        in += skip;
        inLeft -= skip;
    }
    const qsizetype count = qsizetype((out - reinterpret_cast<char *>(characters.data())) / sizeof(char32_t));
    return QString::fromUcs4(characters.constData(), count);
}

} // namespace tarnivel::cp932
