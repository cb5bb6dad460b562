// The HTTP reply reader on any bytes, whole and arriving in pieces: once a reply is decided,
// more bytes or the close never change the answer, the close always decides, and no body
// passes the cap or holds bytes the reply did not.
//
// Input: one byte that chooses where the pieces end, then the reply. In the reply, 0xFF n m b
// stands for (n + 256 m) * 4 + 1 copies of b, so the fuzzer reaches the caps in few bytes.

#include "fuzzcheck.h"
#include "net/httpresponse.h"

#include <algorithm>
#include <optional>

using namespace tarnivel;

namespace {

QByteArray expand(const uint8_t *data, size_t size)
{
    QByteArray bytes;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && i + 3 < size) {
            const qsizetype count = (qsizetype(data[i + 1]) + 256 * qsizetype(data[i + 2])) * 4 + 1;
            bytes.append(count, char(data[i + 3]));
            i += 3;
        } else {
            bytes.append(char(data[i]));
        }
    }
    return bytes;
}

// The body is made of the reply's own bytes, in their order: nothing invented.
bool isSubsequence(const QByteArray &body, const QByteArray &bytes)
{
    qsizetype at = 0;
    for (const char c : body) {
        at = bytes.indexOf(c, at);
        if (at < 0)
            return false;
        ++at;
    }
    return true;
}

void checkShape(const HttpResponseParse &reply)
{
    check(reply.body.size() <= MaxHttpBodyBytes, "a body past the cap");
    check(reply.state == HttpResponseParse::State::Complete || reply.body.isEmpty(), "a body without a complete reply");
    if (reply.state == HttpResponseParse::State::Complete)
        check(reply.status >= 200 && reply.status <= 999, "a complete reply with an interim or no status");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes = expand(data + 1, size - 1);
    const HttpResponseParse open = parseHttpResponse(bytes, false);
    const HttpResponseParse closed = parseHttpResponse(bytes, true);
    checkShape(open);
    checkShape(closed);
    check(isSubsequence(closed.body, bytes), "a body not taken from the reply");
    check(closed.state != HttpResponseParse::State::Incomplete, "the close did not decide");
    if (open.state != HttpResponseParse::State::Incomplete)
        check(closed == open, "the close changed a decided reply");

    // Pieces: every byte for short replies, else up to 64 cuts from a small generator.
    // Once a prefix decides, every longer one (and the whole) gives the same answer.
    std::optional<HttpResponseParse> decided;
    const auto feed = [&](qsizetype cut) {
        const HttpResponseParse part = parseHttpResponse(QByteArrayView(bytes).first(cut), false);
        checkShape(part);
        if (decided)
            check(part == *decided, "more bytes changed a decided reply");
        else if (part.state != HttpResponseParse::State::Incomplete)
            decided = part;
    };
    if (bytes.size() <= 256) {
        for (qsizetype cut = 0; cut <= bytes.size(); ++cut)
            feed(cut);
    } else {
        quint32 seed = data[0] * 2654435761u + 1;
        qsizetype cut = 0;
        for (int piece = 0; piece < 64 && cut < bytes.size(); ++piece) {
            seed = seed * 1664525u + 1013904223u;
            cut = std::min(bytes.size(), cut + 1 + qsizetype(seed >> 8) % (bytes.size() / 16 + 1));
            feed(cut);
        }
        feed(bytes.size());
    }
    if (decided)
        check(open == *decided, "the whole reply read differently from its pieces");
    else
        check(open.state == HttpResponseParse::State::Incomplete, "the whole reply decided where its pieces did not");
    return 0;
}
