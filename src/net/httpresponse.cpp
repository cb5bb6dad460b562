#include "net/httpresponse.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace tarnivel {

namespace {

using State = HttpResponseParse::State;

constexpr QByteArrayView LineEnd("\r\n");
constexpr QByteArrayView HeadEnd("\r\n\r\n");
constexpr QByteArrayView Version("HTTP/1.");

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// A stray CR or LF inside a line would let a field be read two ways.
bool hasLineBreakOrNul(QByteArrayView line)
{
    return std::any_of(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c)
        || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

// "name: value". The name is a token: no blank before the colon and no folded line, which
// would let "Content-Length" be read two ways.
std::optional<std::pair<QByteArrayView, QByteArrayView>> splitField(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || hasLineBreakOrNul(line))
        return std::nullopt;
    const QByteArrayView name = line.first(colon);
    if (!std::all_of(name.begin(), name.end(), isTokenChar))
        return std::nullopt;
    return std::pair{name, trimBlanks(line.sliced(colon + 1))};
}

// Splits a comma-separated field value; empty items are allowed and skipped.
template <typename Each>
bool forEachItem(QByteArrayView value, Each each)
{
    while (true) {
        const qsizetype comma = value.indexOf(',');
        const QByteArrayView item = trimBlanks(comma < 0 ? value : value.first(comma));
        if (!item.isEmpty() && !each(item))
            return false;
        if (comma < 0)
            return true;
        value = value.sliced(comma + 1);
    }
}

std::optional<quint64> decimal(QByteArrayView digits)
{
    if (digits.isEmpty())
        return std::nullopt;
    quint64 value = 0;
    for (const char c : digits) {
        if (!isDigit(c))
            return std::nullopt;
        const quint64 digit = quint64(c - '0');
        if (value > (std::numeric_limits<quint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

// "HTTP/1.x NNN" and an optional reason after a blank.
std::optional<int> statusOf(QByteArrayView line)
{
    if (line.size() < 12 || !line.startsWith(Version) || !isDigit(line[7]) || line[8] != ' ' || !isDigit(line[9])
        || !isDigit(line[10]) || !isDigit(line[11]) || (line.size() > 12 && line[12] != ' ') || hasLineBreakOrNul(line))
        return std::nullopt;
    const int status = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    if (status < 100)
        return std::nullopt;
    return status;
}

struct Head
{
    int status = 0;
    std::optional<quint64> length;
    bool chunked = false;
};

// One head, without its blank line.
std::optional<Head> readHead(QByteArrayView text)
{
    qsizetype lineEnd = text.indexOf(LineEnd);
    const std::optional<int> status = statusOf(lineEnd < 0 ? text : text.first(lineEnd));
    if (!status)
        return std::nullopt;
    Head head;
    head.status = *status;
    bool transferEncoding = false;
    while (lineEnd >= 0) {
        const qsizetype start = lineEnd + 2;
        lineEnd = text.indexOf(LineEnd, start);
        const auto field = splitField(text.sliced(start, (lineEnd < 0 ? text.size() : lineEnd) - start));
        if (!field)
            return std::nullopt;
        const auto [name, value] = *field;
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            // Repeated (or listed) lengths must all agree, or the body's end is anybody's guess.
            bool number = false;
            const bool ok = forEachItem(value, [&](QByteArrayView item) {
                const std::optional<quint64> length = decimal(item);
                if (!length || (head.length && *head.length != *length))
                    return false;
                head.length = length;
                number = true;
                return true;
            });
            if (!ok || !number)
                return std::nullopt;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            // We ask for no coding: chunked alone is all a reply may use, once.
            transferEncoding = true;
            const bool ok = forEachItem(value, [&](QByteArrayView item) {
                if (head.chunked || item.compare("chunked", Qt::CaseInsensitive) != 0)
                    return false;
                head.chunked = true;
                return true;
            });
            if (!ok)
                return std::nullopt;
        }
    }
    // A length beside a transfer coding is how replies get split two ways.
    if (transferEncoding && (head.length || !head.chunked))
        return std::nullopt;
    return head;
}

// A chunk size line: hex digits, then nothing, or extensions after ';'. Nothing when it is
// not one, or announces more than MaxHttpChunkBytes.
std::optional<quint64> chunkSize(QByteArrayView line)
{
    quint64 size = 0;
    qsizetype pos = 0;
    for (; pos < line.size() && hexValue(line[pos]) >= 0; ++pos) {
        if (size > MaxHttpChunkBytes >> 4)
            return std::nullopt;
        size = size << 4 | quint64(hexValue(line[pos]));
    }
    if (pos == 0 || size > MaxHttpChunkBytes || hasLineBreakOrNul(line))
        return std::nullopt;
    const QByteArrayView after = trimBlanks(line.sliced(pos));
    if (!after.isEmpty() && after.front() != ';')
        return std::nullopt;
    return size; // extensions are ignored
}

// The next line of a chunked body from pos, found within what is left of the framing allowance.
struct FramingLine
{
    State state = State::Incomplete; // Complete: line holds the line, pos is past its end
    QByteArrayView line;
};

FramingLine nextFramingLine(QByteArrayView rest, qsizetype &pos, qsizetype &framing)
{
    const qsizetype allowance = MaxHttpFramingBytes - framing;
    const QByteArrayView window = rest.sliced(pos, std::min(rest.size() - pos, allowance));
    const qsizetype lineEnd = window.indexOf(LineEnd);
    if (lineEnd < 0)
        return {window.size() >= allowance ? State::Malformed : State::Incomplete, {}};
    pos += lineEnd + 2;
    framing += lineEnd + 2;
    return {State::Complete, window.first(lineEnd)};
}

// Chunks: a hex size line, the data, CR LF ... a zero size, then trailer fields and a blank line.
State readChunks(QByteArrayView rest, bool closed, QByteArray &body)
{
    const State cutShort = closed ? State::Malformed : State::Incomplete;
    qsizetype pos = 0;
    qsizetype framing = 0; // bytes that are not data
    while (true) {
        const FramingLine sizeLine = nextFramingLine(rest, pos, framing);
        if (sizeLine.state != State::Complete)
            return sizeLine.state == State::Incomplete ? cutShort : State::Malformed;
        const std::optional<quint64> size = chunkSize(sizeLine.line);
        if (!size)
            return State::Malformed;
        if (*size == 0)
            break;
        const quint64 available = quint64(rest.size() - pos);
        const quint64 room = quint64(MaxHttpBodyBytes - body.size());
        if (*size >= room) { // this chunk fills the body: nothing after it matters
            if (available < room)
                return cutShort;
            body += rest.sliced(pos, qsizetype(room));
            return State::Complete;
        }
        // size < room <= MaxHttpBodyBytes from here on, so the sums below cannot overflow.
        if (available < *size + 2)
            return cutShort;
        const qsizetype dataEnd = pos + qsizetype(*size);
        if (rest.sliced(dataEnd, 2) != LineEnd)
            return State::Malformed;
        body += rest.sliced(pos, qsizetype(*size));
        pos = dataEnd + 2;
        framing += 2;
        if (framing > MaxHttpFramingBytes)
            return State::Malformed;
    }
    while (true) {
        const FramingLine trailer = nextFramingLine(rest, pos, framing);
        if (trailer.state != State::Complete)
            return trailer.state == State::Incomplete ? cutShort : State::Malformed;
        if (trailer.line.isEmpty())
            return State::Complete;
        if (!splitField(trailer.line))
            return State::Malformed;
    }
}

// The body by Content-Length, or up to the close when there is none.
State readPlain(QByteArrayView rest, bool closed, std::optional<quint64> length, QByteArray &body)
{
    const qsizetype want = qsizetype(std::min(length.value_or(quint64(MaxHttpBodyBytes)), quint64(MaxHttpBodyBytes)));
    if (rest.size() >= want) {
        body = rest.first(want).toByteArray();
        return State::Complete;
    }
    if (!closed)
        return State::Incomplete;
    if (length)
        return State::Malformed;
    body = rest.toByteArray();
    return State::Complete;
}

} // namespace

HttpResponseParse parseHttpResponse(QByteArrayView bytes, bool closed)
{
    HttpResponseParse result;
    const auto decided = [&result](State state) {
        result.state = state;
        if (state != State::Complete)
            result.body.clear();
        return result;
    };
    const State cutShort = closed ? State::Malformed : State::Incomplete;

    // Interim heads (1xx) come first, any number of them within the head cap.
    const QByteArrayView heads = bytes.first(std::min(bytes.size(), MaxHttpHeadBytes));
    qsizetype pos = 0;
    Head head;
    while (true) {
        const qsizetype available = std::min(heads.size() - pos, Version.size());
        if (heads.sliced(pos, available) != Version.first(available))
            return decided(State::Malformed); // not HTTP at all: no need to wait for more
        const qsizetype headEnd = heads.indexOf(HeadEnd, pos);
        if (headEnd < 0)
            return decided(heads.size() >= MaxHttpHeadBytes ? State::Malformed : cutShort);
        const std::optional<Head> read = readHead(heads.sliced(pos, headEnd - pos));
        if (!read)
            return decided(State::Malformed);
        head = *read;
        result.status = head.status;
        pos = headEnd + HeadEnd.size();
        if (head.status == 101) // we never ask to switch protocols
            return decided(State::Malformed);
        if (head.status >= 200)
            break;
    }

    // Replies to GET that never have a body, whatever their fields say.
    if (head.status == 204 || head.status == 304)
        return decided(State::Complete);
    const QByteArrayView rest = bytes.sliced(pos);
    if (head.chunked)
        return decided(readChunks(rest, closed, result.body));
    return decided(readPlain(rest, closed, head.length, result.body));
}

} // namespace tarnivel
